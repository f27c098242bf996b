#include "extraction_options.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>

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

// What streaming services, podcast players, broadcast (ATSC A/85) and EBU R128 play at.
constexpr std::array<double, 4> offeredLoudness{-14.0, -16.0, -19.0, -23.0};

} // namespace

QStringList ExtractionOptions::loudnessNames()
{
    QStringList names{QCoreApplication::translate("ExtractionOptions", "Off")};
    for (const double target : offeredLoudness)
        names << QStringLiteral("\u2212%1 LUFS").arg(-target);
    return names;
}

int ExtractionOptions::loudnessIndexOf(const std::optional<double> &target)
{
    if (!target)
        return 0;
    const auto found = std::find(offeredLoudness.begin(), offeredLoudness.end(), *target);
    return found == offeredLoudness.end() ? -1 : int(found - offeredLoudness.begin()) + 1;
}

std::optional<double> ExtractionOptions::loudnessAt(int index)
{
    if (index < 1 || size_t(index) > offeredLoudness.size())
        return std::nullopt;
    return offeredLoudness[size_t(index - 1)];
}

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
