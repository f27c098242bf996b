#pragma once

#include "model/extraction_settings.h"

#include <QObject>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

namespace tonbrook {

// The option tables for pickers: entries in allCases() order, chosen by their position.
class ExtractionOptions : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Options)
    QML_SINGLETON
    Q_PROPERTY(QStringList bitrateNames READ bitrateNames CONSTANT)
    Q_PROPERTY(QStringList bitrateShortNames READ bitrateShortNames CONSTANT)
    Q_PROPERTY(QStringList sampleRateNames READ sampleRateNames CONSTANT)
    Q_PROPERTY(QStringList channelNames READ channelNames CONSTANT)
    Q_PROPERTY(QStringList loudnessNames READ loudnessNames CONSTANT)

public:
    using QObject::QObject;

    static QStringList bitrateNames();
    static QStringList bitrateShortNames();
    static QStringList sampleRateNames();
    static QStringList channelNames();
    // "Off", then the loudness targets offered, loudest first.
    static QStringList loudnessNames();

    // Position in allCases(); out-of-range positions give the first case.
    static int indexOf(BitrateOption option);
    static int indexOf(SampleRateOption option);
    static int indexOf(AudioChannelOption option);
    static BitrateOption bitrateAt(int index);
    static SampleRateOption sampleRateAt(int index);
    static AudioChannelOption channelsAt(int index);
    // Off is position 0; a target that is not offered has no position (-1).
    static int loudnessIndexOf(const std::optional<double> &target);
    // Out-of-range positions give off.
    static std::optional<double> loudnessAt(int index);
};

} // namespace tonbrook
