#include "extraction_options.h"

namespace tonbrook {

namespace {

template <typename Option, typename Text> QStringList texts(Text text)
{
    QStringList result;
    for (const Option option : Option::allCases())
        result << text(option);
    return result;
}

template <typename Option> int positionOf(Option option)
{
    const auto cases = Option::allCases();
    for (size_t i = 0; i < cases.size(); ++i) {
        if (cases[i] == option)
            return int(i);
    }
    return 0;
}

template <typename Option> Option optionAt(int index)
{
    const auto cases = Option::allCases();
    return (index >= 0 && size_t(index) < cases.size()) ? cases[size_t(index)] : cases[0];
}

} // namespace

QStringList ExtractionOptions::bitrateNames()
{
    return texts<BitrateOption>([](BitrateOption o) { return o.name(); });
}

QStringList ExtractionOptions::bitrateShortNames()
{
    return texts<BitrateOption>([](BitrateOption o) { return o.shortName(); });
}

QStringList ExtractionOptions::sampleRateNames()
{
    return texts<SampleRateOption>([](SampleRateOption o) { return o.name(); });
}

QStringList ExtractionOptions::channelNames()
{
    return texts<AudioChannelOption>([](AudioChannelOption o) { return o.name(); });
}

int ExtractionOptions::indexOf(BitrateOption option)
{
    return positionOf(option);
}

int ExtractionOptions::indexOf(SampleRateOption option)
{
    return positionOf(option);
}

int ExtractionOptions::indexOf(AudioChannelOption option)
{
    return positionOf(option);
}

BitrateOption ExtractionOptions::bitrateAt(int index)
{
    return optionAt<BitrateOption>(index);
}

SampleRateOption ExtractionOptions::sampleRateAt(int index)
{
    return optionAt<SampleRateOption>(index);
}

AudioChannelOption ExtractionOptions::channelsAt(int index)
{
    return optionAt<AudioChannelOption>(index);
}

} // namespace tonbrook
