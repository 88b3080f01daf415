#ifndef MALVORANT_QMLITEMS_H
#define MALVORANT_QMLITEMS_H

#include <QGenericArgument>
#include <QList>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QMetaType>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <array>
#include <functional>
#include <tuple>
#include <type_traits>

// Everything the bridge knows about the QML side: the items that bind
// themselves, the properties the bridge writes on them and the signals it
// invokes on them. The tables below are the one place where these names are
// spelled; the rest of the program uses the typed tags, so a misspelt name is
// a compile error and the contract test walks the same tables.

namespace qml {

// The items that hand themselves to the bridge.
#define MALVORANT_QML_ITEMS(X) \
    X(MainWindow, "main")                       \
    X(MainWindowView, "")                       \
    X(UiData, "UiData")                         \
    X(UiDefs, "UiDefs")                         \
    X(TopArea, "TopArea")                       \
    X(BottomArea, "BottomArea")                 \
    X(EcgChart, "EcgView")                      \
    X(GridChart, "GridViewQd")                  \
    X(Flickable, "EcgView")                     \
    X(FileList, "ViewerEcgList")                \
    X(PatientView, "ViewerPatients")            \
    X(PatientPopup, "PatientSelectionPopup")    \
    X(SettingsView, "ViewerSettings")           \
    X(ToolsView, "ToolsSettings")               \
    X(ExportView, "ViewerExport")               \
    X(SplashScreen, "SplashScreen")             \
    X(BrowserDrawer, "DrawerBrowser")           \
    X(DcmDrawer, "")

enum class Item {
#define MALVORANT_X(id, file) id,
    MALVORANT_QML_ITEMS(MALVORANT_X)
#undef MALVORANT_X
    Count
};
constexpr int kItemCount = static_cast<int>(Item::Count);

// Who writes a UiData property: the bridge, or only the QML (a binding or a
// screen's own state). The bridge refuses to write the second kind.
enum Writer { Bridge, Qml };

// Properties: tag, item, QML name, C++ type, start value (UiData only; the
// contract test checks it), writer.
#define MALVORANT_QML_PROPERTIES(X) \
    X(PatientName, UiData, "patientName", QString, QString(), Bridge)                         \
    X(PatientExtId, UiData, "patientExtId", QString, QString(), Bridge)                       \
    X(PatientFirstLast, UiData, "patientFirstLast", QString, QString(), Bridge)               \
    X(PatientSpecies, UiData, "patientSpecies", QString, QString(), Bridge)                   \
    X(PatientBreed, UiData, "patientBreed", QString, QString(), Bridge)                       \
    X(PatientAge, UiData, "patientAge", QString, QString(), Bridge)                           \
    X(PatientWeight, UiData, "patientWeight", QString, QString(), Bridge)                     \
    X(PatientGender, UiData, "patientGender", QString, QString(), Bridge)                     \
    X(PatientId, UiData, "patientId", int, 0, Bridge)                                         \
    X(FileName, UiData, "fileName", QString, QString(), Bridge)                               \
    X(FileDate, UiData, "fileDate", QString, QString(), Bridge)                               \
    X(FileTimeCurrent, UiData, "fileTimeCurrent", QString, QString(), Bridge)                 \
    X(FileQvlCaseId, UiData, "fileQVLCaseId", QString, QString(), Bridge)                     \
    X(FileQvlCaseUrl, UiData, "fileQVLCaseUrl", QString, QString(), Bridge)                   \
    X(FileQvlCaseStatus, UiData, "fileQVLCaseStatus", QString, QString(), Bridge)             \
    X(FileCount, UiData, "fileCount", int, 0, Bridge)                                         \
    X(FilePacsStatus, UiData, "filePacsStatus", int, 0, Bridge)                               \
    X(FilePacsQueue, UiData, "filePacsQueue", int, 0, Bridge)                                 \
    X(FilePacsQueueText, UiData, "filePacsQueueText", QString, QString(), Bridge)             \
    X(FilePacsQueueReason, UiData, "filePacsQueueReason", QString, QString(), Bridge)         \
    X(FooterLineLeft, UiData, "footerLineLeft", QString, QString(), Bridge)                   \
    X(PowerFilterActive, UiData, "powerFilterActive", bool, false, Bridge)                    \
    X(ArtifactFilterActive, UiData, "artifactFilterActive", bool, false, Bridge)              \
    X(EcgDisplayModeIdx, UiData, "ecgDisplayModeIdx", int, 0, Qml)                            \
    X(EcgGainIdx, UiData, "ecgGainIdx", int, 0, Qml)                                          \
    X(EcgSpeedIdx, UiData, "ecgSpeedIdx", int, 0, Qml)                                        \
    X(EcgGridIdx, UiData, "ecgGridIdx", int, 3, Bridge)                                       \
    X(BrowserUrl, UiData, "browserUrl", QUrl, QUrl(), Qml)                                    \
    X(BrowserTitle, UiData, "browserTitle", QString, QString(), Qml)                          \
    X(BrowserShowForwardBackwardButton, UiData, "browserShowForwardBackwardButton", bool,     \
      false, Qml)                                                                             \
    X(DicomEnabled, UiData, "dicomEnabled", bool, false, Bridge)                              \
    X(DicomMwlConfigStatus, UiData, "dicomMwlConfigStatus", int, 0, Bridge)                   \
    X(DicomPacsConfigStatus, UiData, "dicomPacsConfigStatus", int, 0, Bridge)                 \
    X(DicomDisableLocalPatients, UiData, "dicomDisableLocalPatients", bool, false, Bridge)     \
    X(DicomDisableLocalFiles, UiData, "dicomDisableLocalFiles", bool, false, Bridge)          \
    X(ForceLocal, UiData, "forceLocal", bool, false, Qml)                                     \
    X(WarningLeadPlacement, UiData, "warningLeadPlacement", bool, false, Bridge)              \
    X(WarningInterference, UiData, "warningInterference", bool, false, Bridge)                \
    X(ShowHeartRateActive, UiData, "showHeartRateActive", bool, false, Bridge)                \
    X(PlayHeartBeatActive, UiData, "playHeartBeatActive", bool, false, Bridge)                \
    X(ShowIndicatorHints, UiData, "showIndicatorHints", bool, true, Bridge)                   \
    X(QvlAccountVerified, UiData, "qvlAccountVerified", bool, false, Bridge)                  \
    X(VectorError0, UiData, "vectorError0", bool, false, Bridge)                              \
    X(VectorError1, UiData, "vectorError1", bool, false, Bridge)                              \
    X(AbortConnecting, UiData, "abortConnecting", bool, false, Bridge)                        \
    X(DisplayState, UiData, "displayState", int, 0, Bridge)                                   \
    X(IsStreamingView, UiData, "isStreamingView", bool, false, Qml)                           \
    X(IsBtConnected, UiData, "isBtConnected", bool, false, Bridge)                            \
    X(IsLeadInComplete, UiData, "isLeadInComplete", bool, false, Bridge)                      \
    X(RecordingTime, UiData, "recordingTime", int, 0, Bridge)                                 \
    X(BeatsPerMinuteLabel, UiData, "beatsPerMinuteLabel", QString, QString(), Bridge)         \
    X(ShowBeatsPerMinute, UiData, "showBeatsPerMinute", bool, false, Bridge)                  \
    X(BusyIndicatorRunning, UiData, "busyIndicatorRunning", bool, false, Bridge)              \
    X(StreamRefreshTimerRunning, UiData, "streamRefreshTimerRunning", bool, false, Bridge)    \
    X(BatteryLowIndicator, UiData, "batteryLowIndicator", bool, false, Bridge)                \
    X(SelectedSpecies, UiData, "selectedSpecies", int, 0, Bridge)                             \
    X(TmpSpecies, UiData, "tmpSpecies", int, 0, Qml)                                          \
    X(SaveToPdfEnabled, UiData, "saveToPdfEnabled", bool, false, Bridge)                      \
    X(ItsaRetry, UiData, "itsaRetry", int, 0, Bridge)                                         \
    X(InputType, UiData, "inputType", int, 0, Bridge)                                         \
    X(InputChannelListIndex, UiData, "inputChannelListIndex", int, 0, Bridge)                 \
    X(InputDescriptiveName, UiData, "inputDescriptiveName", QString, QString(), Bridge)       \
    X(ValidStreamInputDeviceSelected, UiData, "validStreamInputDeviceSelected", bool, false,  \
      Bridge)                                                                                 \
    X(FromImport, UiData, "fromImport", bool, false, Bridge)                                  \
    X(VersionStr, UiDefs, "versionStr", QString, QVariant(), Bridge)                          \
    X(BuildStr, UiDefs, "buildStr", QString, QVariant(), Bridge)                              \
    X(IsYarloVariant, UiDefs, "isYarloVariant", bool, QVariant(), Bridge)                     \
    X(ButtonActionImgType, BottomArea, "buttonActionImgType", int, QVariant(), Bridge)        \
    X(FlickContentX, Flickable, "contentX", double, QVariant(), Bridge)                       \
    X(FlickContentWidth, Flickable, "contentWidth", double, QVariant(), Bridge)               \
    X(PatHeaderLabel, PatientView, "headerLabel", QString, QVariant(), Bridge)                \
    X(PatEditExistingPatient, PatientView, "editExistingPatient", bool, QVariant(), Bridge)   \
    X(PatOpenedAccordion, PatientView, "openedAccordion", int, QVariant(), Bridge)            \
    X(PatVisible, PatientView, "visible", bool, QVariant(), Bridge)                           \
    X(PatNumberOfEcgsToPatient, PatientView, "numberOfEcgsToPatient", int, QVariant(), Bridge) \
    X(PatInitPatId, PatientView, "initializerPatId", int, QVariant(), Bridge)                 \
    X(PatInitPatientName, PatientView, "initializerPatientName", QString, QVariant(), Bridge) \
    X(PatInitExtId, PatientView, "initializerExtId", QString, QVariant(), Bridge)             \
    X(PatInitOFirst, PatientView, "initializerOFirst", QString, QVariant(), Bridge)           \
    X(PatInitOLast, PatientView, "initializerOLast", QString, QVariant(), Bridge)             \
    X(PatInitSpeciesIdx, PatientView, "initializerSpeciesIdx", int, QVariant(), Bridge)       \
    X(PatInitSpeciesListIdx, PatientView, "initializerSpeciesListIdx", int, QVariant(), Bridge) \
    X(PatInitSpeciesValue, PatientView, "initializerSpeciesValue", QString, QVariant(), Bridge) \
    X(PatInitBreedListIdx, PatientView, "initializerBreedListIdx", int, QVariant(), Bridge)   \
    X(PatInitBreedValue, PatientView, "initializerBreedValue", QString, QVariant(), Bridge)   \
    X(PatInitGenderIndex, PatientView, "initializerGenderIndex", int, QVariant(), Bridge)     \
    X(PatInitWeight, PatientView, "initializerWeight", QString, QVariant(), Bridge)           \
    X(PatInitWeightUnitIsPound, PatientView, "initializerWeightUnitIsPound", int, QVariant(), \
      Bridge)                                                                                 \
    X(PatInitCurrentYear, PatientView, "initializerCurrentYear", int, QVariant(), Bridge)     \
    X(PatInitBirthdayTs, PatientView, "initializerBirthdayTs", double, QVariant(), Bridge)    \
    X(PatInitAgeYear, PatientView, "initializerAgeYear", QString, QVariant(), Bridge)         \
    X(PatInitAgeMonth, PatientView, "initializerAgeMonth", QString, QVariant(), Bridge)       \
    X(PatInitBirthday, PatientView, "initializerBirthday", QString, QVariant(), Bridge)       \
    X(ListHeaderLabel, FileList, "headerLabel", QString, QVariant(), Bridge)                  \
    X(ListOpenedAccordion, FileList, "openedAccordion", int, QVariant(), Bridge)              \
    X(ListVisible, FileList, "visible", bool, QVariant(), Bridge)                             \
    X(ListDialogFileId, FileList, "dialogFileId", int, QVariant(), Bridge)                    \
    X(ListDialogFileName, FileList, "dialogFileName", QString, QVariant(), Bridge)            \
    X(SetInitQvlUserName, SettingsView, "initializerQvlUserName", QString, QVariant(), Bridge) \
    X(SetInitQvlUserPwd, SettingsView, "initializerQvlUserPwd", QString, QVariant(), Bridge)  \
    X(SetInitQvlUrl, SettingsView, "initializerQvlUrl", QString, QVariant(), Bridge)          \
    X(SetInitQvlAccountVerified, SettingsView, "initializerQvlAccountVerified", int,          \
      QVariant(), Bridge)                                                                     \
    X(SetInitQvlAccountProblem, SettingsView, "initializerQvlAccountProblem", int,            \
      QVariant(), Bridge)                                                                     \
    X(SetInitPowerIs60Hz, SettingsView, "initializerPowerIs60Hz", int, QVariant(), Bridge)    \
    X(SetInitRecordingSeconds, SettingsView, "initializerRecordingSeconds", int, QVariant(),  \
      Bridge)                                                                                 \
    X(SetInitWeightUnitIsPound, SettingsView, "initializerWeightUnitIsPound", int,            \
      QVariant(), Bridge)                                                                     \
    X(SetInitDcmLocalAe, SettingsView, "initializerDcmLocalAe", QString, QVariant(), Bridge)  \
    X(SetInitDcmLocalPort, SettingsView, "initializerDcmLocalPort", int, QVariant(), Bridge)  \
    X(SetInitDcmMwlAe, SettingsView, "initializerDcmMwlAe", QString, QVariant(), Bridge)      \
    X(SetInitDcmMwlIp, SettingsView, "initializerDcmMwlIp", QString, QVariant(), Bridge)      \
    X(SetInitDcmMwlPort, SettingsView, "initializerDcmMwlPort", int, QVariant(), Bridge)      \
    X(SetInitDcmPacsAe, SettingsView, "initializerDcmPacsAe", QString, QVariant(), Bridge)    \
    X(SetInitDcmPacsIp, SettingsView, "initializerDcmPacsIp", QString, QVariant(), Bridge)    \
    X(SetInitDcmPacsPort, SettingsView, "initializerDcmPacsPort", int, QVariant(), Bridge)    \
    X(SetInitDcmInstName, SettingsView, "initializerDcmInstName", QString, QVariant(), Bridge) \
    X(SetInitDcmLocalIpAddress, SettingsView, "initializerDcmLocalIpAddress", QString,        \
      QVariant(), Bridge)                                                                     \
    X(SetDcmMwlTestState, SettingsView, "dcmMwlTestState", int, QVariant(), Bridge)           \
    X(SetDcmMwlTestText, SettingsView, "dcmMwlTestText", QString, QVariant(), Bridge)         \
    X(SetDcmPacsTestState, SettingsView, "dcmPacsTestState", int, QVariant(), Bridge)         \
    X(SetDcmPacsTestText, SettingsView, "dcmPacsTestText", QString, QVariant(), Bridge)       \
    X(ToolsOpenedAccordion, ToolsView, "openedAccordion", int, QVariant(), Bridge)            \
    X(ToolsVisible, ToolsView, "visible", bool, QVariant(), Bridge)                           \
    X(ExportDataFileName, ExportView, "exportDataFileName", QString, QVariant(), Bridge)      \
    X(ExportDicomFileName, ExportView, "exportDicomFileName", QString, QVariant(), Bridge)

enum class Prop {
#define MALVORANT_X(id, item, name, type, start, writer) id,
    MALVORANT_QML_PROPERTIES(MALVORANT_X)
#undef MALVORANT_X
    Count
};
constexpr int kPropCount = static_cast<int>(Prop::Count);

// Signals declared in QML and invoked by the bridge: tag, item, QML name,
// argument types, parameter names (comma separated, as declared).
#define MALVORANT_QML_CALLS(X) \
    X(QmlInitEcgData, EcgChart, "qmlInitEcgData", (), "")                                     \
    X(QmlRefreshEcgData, EcgChart, "qmlRefreshEcgData", (), "")                               \
    X(QmlHideEcg, EcgChart, "qmlHideEcg", (), "")                                             \
    X(UpdateDialog, EcgChart, "updateDialog", (), "")                                         \
    X(NoUpdates, EcgChart, "noUpdates", (), "")                                               \
    X(UpdateFailed, EcgChart, "updateFailed", (QString), "message")                           \
    X(QmlInitGrid, GridChart, "qmlInitGrid", (int), "gridIdx")                                \
    X(QmlStartStopRecordingAnimation, BottomArea, "qmlStartStopRecordingAnimation", (bool),   \
      "isStart")                                                                              \
    X(QmlAlertBoxFileWriteError, BottomArea, "qmlAlertBoxFileWriteError", (bool),             \
      "isFileCreation")                                                                       \
    X(QmlAlertBoxRecordingLinkLost, BottomArea, "qmlAlertBoxRecordingLinkLost", (int),       \
      "seconds")                                                                              \
    X(QmlAlertBoxFileReadError, BottomArea, "qmlAlertBoxFileReadError", (QString), "reason")  \
    X(QmlAlertBoxExportError, BottomArea, "qmlAlertBoxExportError", (QString), "reason")      \
    X(QmlAlertBoxRecordingsRecovered, BottomArea, "qmlAlertBoxRecordingsRecovered", (int),    \
      "count")                                                                                \
    X(QmlAlertBoxFileSaved, BottomArea, "qmlAlertBoxFileSaved", (QString, QString),           \
      "fileName,folder")                                                                      \
    X(QmlAlertBoxReplaceFile, BottomArea, "qmlAlertBoxReplaceFile", (QString, QString),       \
      "fileName,folder")                                                                      \
    X(QmlAlertBoxNoNetwork, BottomArea, "qmlAlertBoxNoNetwork", (int, bool),                  \
      "fileId,isQvlUpload")                                                                   \
    X(QmlAlertBoxNoNetworkSync, BottomArea, "qmlAlertBoxNoNetworkSync", (int, bool),          \
      "fileId,isQvlUpload")                                                                   \
    X(QmlAlertBoxQvlFileAlreadyUploaded, BottomArea, "qmlAlertBoxQvlFileAlreadyUploaded",     \
      (int), "fileId")                                                                        \
    X(QmlAlertBoxQvlAskUpload, BottomArea, "qmlAlertBoxQvlAskUpload", (int), "fileId")        \
    X(QmlAlertBoxQvlShortFileUpload, BottomArea, "qmlAlertBoxQvlShortFileUpload", (int),      \
      "duration")                                                                             \
    X(QmlAlertBoxQvlCommError, BottomArea, "qmlAlertBoxQvlCommError", (QString), "message")   \
    X(QmlAlertBoxQvlUploadFailed, BottomArea, "qmlAlertBoxQvlUploadFailed",                   \
      (int, QString, QString, QString, bool), "fileId,title,message,informativeText,offerQueue") \
    X(QmlAlertBoxQvlUploadCompleted, BottomArea, "qmlAlertBoxQvlUploadCompleted", (), "")     \
    X(QmlAlertBoxDcmCommError, BottomArea, "qmlAlertBoxDcmCommError", (QString), "message")   \
    X(QmlAlertBoxDcmUploadCompleted, BottomArea, "qmlAlertBoxDcmUploadCompleted", (), "")     \
    X(QmlInterferenceWarning, BottomArea, "qmlInterferenceWarning", (), "")                   \
    X(QmlInterferenceWarningClose, BottomArea, "qmlInterferenceWarningClose", (), "")         \
    X(QmlLeadWarning, BottomArea, "qmlLeadWarning", (), "")                                   \
    X(QmlLeadWarningClose, BottomArea, "qmlLeadWarningClose", (), "")                         \
    X(QmlDoStreaming, BottomArea, "qmlDoStreaming", (), "")                                   \
    X(QmlCloseSpecies, BottomArea, "qmlCloseSpecies", (), "")                                 \
    X(QmlLoadView, MainWindow, "qmlLoadView", (QString), "name")                              \
    X(QmlOpenBrowser, MainWindow, "qmlOpenBrowser", (QUrl, QString, bool),                    \
      "targetUrl,headline,showForwardBackwardButton")                                        \
    X(QmlOpenPopup, PatientPopup, "qmlOpenPopup",                                             \
      (QString, QString, QString, QString, QString, QString, QString, QString, QString),     \
      "patientName,extId,owner,species,breed,sex,age,weight,studyDate")                       \
    X(QmlSelectionConfirmed, PatientView, "qmlSelectionConfirmed", (bool), "userHasConfirmed") \
    X(QmlSelectionConfirmedFromImport, PatientView, "qmlSelectionConfirmedFromImport", (bool), \
      "userHasConfirmed")                                                                     \
    X(QmlMwlRetrievalCompleted, PatientView, "qmlMwlRetrievalCompleted", (), "")              \
    X(PatDoReload, PatientView, "doReload", (), "")                                           \
    X(PatDoSetValues, PatientView, "doSetValues", (), "")                                     \
    X(QmlPacsListRetrievalCompleted, FileList, "qmlPacsListRetrievalCompleted", (), "")       \
    X(ListDoReload, FileList, "doReload", (), "")                                             \
    X(QmlShowSplashScreen, SplashScreen, "qmlShowSplashScreen", (), "")                       \
    X(QmlStreamsRetrieved, SettingsView, "qmlStreamsRetrieved", (int, int), "maxIdx,currentIdx")

enum class Call {
#define MALVORANT_X(id, item, name, args, params) id,
    MALVORANT_QML_CALLS(MALVORANT_X)
#undef MALVORANT_X
    Count
};
constexpr int kCallCount = static_cast<int>(Call::Count);

struct PropInfo {
    Item item;
    const char* name;
    QMetaType type;
    QVariant start;     // invalid: no start value fixed by the contract
    Writer writer;
};

struct CallInfo {
    Item item;
    const char* name;
    QList<QMetaType> types;
    QByteArrayList params;
};

const char* itemName(Item item);
// File (without ".qml") that declares the item, empty for items no QML binds.
const char* itemFile(Item item);
const PropInfo& propInfo(Prop prop);
const CallInfo& callInfo(Call call);

// Typed tags: P::PatientName::Type is QString, and so on.
namespace P {
#define MALVORANT_X(id, item_, name, type, start, writer_)                                     \
    struct id {                                                                               \
        using Type = type;                                                                    \
        static constexpr Prop prop = Prop::id;                                                \
        static constexpr Item item = Item::item_;                                             \
        static constexpr Writer writer = writer_;                                             \
    };
MALVORANT_QML_PROPERTIES(MALVORANT_X)
#undef MALVORANT_X
} // namespace P

namespace C {
#define MALVORANT_X(id, item_, name, args, params)                                            \
    struct id {                                                                               \
        using Args = std::tuple<MALVORANT_UNPAREN args>;                                      \
        static constexpr Call call = Call::id;                                                \
    };
#define MALVORANT_UNPAREN(...) __VA_ARGS__
MALVORANT_QML_CALLS(MALVORANT_X)
#undef MALVORANT_UNPAREN
#undef MALVORANT_X
} // namespace C

// What one item lacks or declares differently from the tables: one line per
// fault, empty when the item keeps the contract. The tables are parameters so
// that a test can check a changed table too.
QStringList contractFaults(Item item, const QObject* object,
                           const QList<std::pair<Prop, PropInfo>>& props,
                           const QList<std::pair<Call, CallInfo>>& calls);
QList<std::pair<Prop, PropInfo>> propTable();
QList<std::pair<Call, CallInfo>> callTable();

} // namespace qml

// The bound QML items with the handles of their properties and signals,
// resolved once when an item binds. A write or an invocation on an item that
// is not bound does nothing, unless the item is built on demand: then it is
// built first. A name the item lacks is logged once at binding and then
// skipped.
class QmlItems
{
public:
    QmlItems();

    QmlItems(const QmlItems&) = delete;
    QmlItems& operator=(const QmlItems&) = delete;

    // Replaces any earlier item; null unbinds.
    void bind(qml::Item item, QObject* object);
    QObject* object(qml::Item item) const;
    bool isBound(qml::Item item) const { return object(item) != nullptr; }

    // An item whose screen is built on first use: `build` makes it, and it
    // binds itself while being made.
    void setBuiltOnDemand(qml::Item item, std::function<void()> build);
    // Whether the item is bound, once built if it is built on demand.
    bool ensureBound(qml::Item item);

    template <class Tag>
    void set(const typename Tag::Type& value)
    {
        static_assert(Tag::writer == qml::Bridge, "the QML alone writes this property");
        write(Tag::prop, QVariant::fromValue(value));
    }

    template <class Tag, class... A>
    void invoke(const A&... args)
    {
        static_assert(std::is_same_v<std::tuple<A...>, typename Tag::Args>,
                      "argument types differ from the declared signal");
        invokeArgs(Tag::call, {QGenericArgument(QMetaType::fromType<A>().name(), &args)...});
    }

    // Reads a property back (tests and the few reads the bridge makes, such
    // as the flickable's position). Invalid when not bound.
    QVariant read(qml::Prop prop) const;

private:
    void write(qml::Prop prop, const QVariant& value);
    void invokeArgs(qml::Call call, std::initializer_list<QGenericArgument> args);

    std::array<QPointer<QObject>, qml::kItemCount> m_objects;
    std::array<QMetaProperty, qml::kPropCount> m_props;
    std::array<QMetaMethod, qml::kCallCount> m_calls;
    std::array<std::function<void()>, qml::kItemCount> m_builders;
};

#endif
