// Helpers shared by the waveform model tests: building groups, saving and
// loading files, and running the independent tools (pydicom, dcmdump...).
#ifndef WVFTESTHELPERS_H
#define WVFTESTHELPERS_H

#include "toolrun.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include "wvfgroup.h"

namespace wvftest {

using toolrun::python;
using toolrun::runTool;
using toolrun::ToolResult;

inline QString script(const char* name)
{
    return QString(MALVORANT_SOURCE_DIR) + "/tests/dcmwave/" + name;
}

inline CodeSequenceMacro code(const char* value, const char* scheme, const char* meaning)
{
    CodeSequenceMacro c;
    c.setCodeValue(value);
    c.setCodingSchemeDesignator(scheme);
    c.setCodeMeaning(meaning);
    return c;
}

// A deterministic sample of channel c at position i within the range of the
// interpretation.
inline long sampleValue(WVF_SAMPLE_INTERPRETATION interp, Uint32 c, Uint32 i)
{
    const long v = long((i * 37 + c * 1009 + (i * i) % 101) % 65536);
    switch (interp) {
    case SB: return (v % 256) - 128;
    case UB: return v % 256;
    case SS: return v - 32768;
    default: return v;
    }
}

// A group of `channels` channels of `samples` samples each, with channel
// definitions the way an export fills them.
inline WvfMplxGroup* buildGroup(WVF_SAMPLE_INTERPRETATION interp, Uint32 channels, Uint32 samples)
{
    WvfMplxGroup* group = new WvfMplxGroup();
    static const char* const labels[] = {"I", "II", "III", "aVR", "aVL", "aVF", "V1", "V2", "V3", "V4", "V5", "V6"};
    for (Uint32 c = 0; c < channels; ++c) {
        WvfChannel* ch = new WvfChannel();
        ch->createSamples(samples, interp);
        WvfSamples* s = ch->getSamples();
        for (Uint32 i = 0; i < samples; ++i) {
            const long v = sampleValue(interp, c, i);
            if (s->getBitsPerSample() == 8)
                s->setSample(i, Uint8(v & 0xFF));
            else
                s->setSample(i, Sint16(Uint16(v & 0xFFFF)));
        }
        group->addChannel(ch, -1);
        ch->setChannelSourceSequence(code(QByteArray("5.6.3-9-").append(QByteArray::number(c + 1)).constData(),
                                          "SCPECG", labels[c % 12]));
        ch->setChannelSensitivityUnitsSequence(code("uV", "UCUM", "microvolt"));
        ch->setChannelSensitivity(0.5 + c * 0.125);
        ch->setChannelBaseline(c * 1.5);
        ch->setChannelSensitivityCorrectionFactor(1.0);
    }
    group->setMultiplexGroupTimeOffset(0.0);
    group->setWaveformOriginality("ORIGINAL");
    group->setSamplingFrequency(500.0);
    group->setWaveformSampleInterpretation(interp);
    return group;
}

// Writes each group into its own Waveform Sequence item of a new file.
inline OFCondition saveGroups(const QString& path, const QList<WvfMplxGroup*>& groups)
{
    DcmFileFormat file;
    DcmDataset* ds = file.getDataset();
    ds->putAndInsertString(DCM_SOPClassUID, UID_GeneralECGWaveformStorage);
    ds->putAndInsertString(DCM_SOPInstanceUID, "1.2.826.0.1.3680043.10.1138.1");
    for (int g = 0; g < groups.size(); ++g) {
        DcmItem* item = nullptr;
        OFCondition cond = ds->findOrCreateSequenceItem(DCM_WaveformSequence, item, g);
        if (cond.bad())
            return cond;
        cond = groups[g]->write(item);
        if (cond.bad())
            return cond;
    }
    return file.saveFile(path.toLocal8Bit().constData(), EXS_LittleEndianExplicit);
}

// Loads a file and reads Waveform Sequence item `index` into a new group.
inline OFCondition loadGroup(const QString& path, int index, WvfMplxGroup*& group)
{
    group = nullptr;
    DcmFileFormat file;
    OFCondition cond = file.loadFile(path.toLocal8Bit().constData());
    if (cond.bad())
        return cond;
    DcmItem* item = nullptr;
    cond = file.getDataset()->findAndGetSequenceItem(DCM_WaveformSequence, item, index);
    if (cond.bad())
        return cond;
    group = new WvfMplxGroup();
    return group->read(item);
}

// The text dump of what a group writes (attributes, channel items, data).
inline QString groupDump(WvfMplxGroup* group, OFCondition* cond = nullptr)
{
    DcmItem item;
    OFCondition c = group->write(&item);
    if (cond)
        *cond = c;
    std::ostringstream out;
    item.print(out, 0);
    return QString::fromStdString(out.str());
}

} // namespace wvftest

#endif
