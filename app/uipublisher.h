#ifndef MALVORANT_UIPUBLISHER_H
#define MALVORANT_UIPUBLISHER_H

#include "bridgeparts.h"

#include <functional>

class CEcgBuffer;
class EcgChart;
class QmlItems;
class QObject;

// Publishes the current patient, the current recording and the display state
// to UiData, and shows a recording (showFile). The display state lives here.
class UiPublisher
{
public:
    // Display states: what the main screen shows.
    enum DisplayState {
        ShowingFileAssigned = 0,
        Streaming = 1,
        Recording = 2,
        NoFile = 3,
        ShowingFileUnassigned = 4
    };

    UiPublisher(QmlItems& items, const EngineParts& engine, EcgChart& chart);

    UiPublisher(const UiPublisher&) = delete;
    UiPublisher& operator=(const UiPublisher&) = delete;

    // UiData has bound: republish the whole state (what was published
    // before it existed is lost).
    void uiDataBound(QObject* uiData);
    void uiDefsBound(QObject* uiDefs);

    void setDisplayState(int displayState);
    int displayState() const { return m_displayState; }
    // Live view: display state 1, 2 or 4.
    bool isLiveView() const { return m_liveView; }
    // Shows an assigned recording and leaves the live view.
    void setShowingAssigned();
    // The state of the current recording: 3 none, 4 waiting for its patient
    // (patient 0), 0 assigned.
    void showStateOfCurrent();
    // A stored recording is on the screen (neither the monitor nor a
    // recording runs, and the current recording's file is open): the only
    // time a report of it may be written.
    bool isStoredRecordingShown() const;
    // saveToPdfEnabled follows isStoredRecordingShown.
    void publishPdfAvailability();

    void publishPatient();
    void publishFile();
    void publishFilePosition(int filePos);
    void publishFileQvl();
    void showFile();
    // What else publishFile publishes of the recording (its place in the PACS queue).
    void setFileExtras(std::function<void()> extras) { m_fileExtras = std::move(extras); }

private:
    QmlItems& m_items;
    EngineParts m_engine;
    EcgChart& m_chart;
    int m_displayState = NoFile;
    bool m_liveView = false;
    std::function<void()> m_fileExtras;
};

// Lead-in of a stored recording: the run of type-45 entries from entry 5 on
// (at most to entry 2499). 0 when it ends at entry 9 or before, the index of
// its end + 2 otherwise, 2501 when every entry up to 2499 is of type 45. An
// entry the buffer can't give ends the run.
int measureLeadIn(CEcgBuffer& buffer);

#endif
