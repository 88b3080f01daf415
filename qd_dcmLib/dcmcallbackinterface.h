#ifndef MALVORANT_DCMCALLBACKINTERFACE_H
#define MALVORANT_DCMCALLBACKINTERFACE_H

// The DICOM jobs. One number names a job in the front, in the worker and in
// the answer slot below.
enum DcmCommand : int
{
    DcmCmdSendPacsFile = 0,
    DcmCmdLoadMwl = 1,
    DcmCmdLoadPacsList = 2,
    DcmCmdLoadFromPacs = 3,
    DcmCmdTestMwlCredentials = 4,
    DcmCmdTestPacsCredentials = 5
};

// The answers of the DICOM front (CDcmComm) and of the background PACS upload
// (CDcmScheduler), implemented by the bridge. Every answer arrives on the GUI
// thread after the worker thread has finished. Both flags false is success;
// hasNetworkError: association set-up, the query or the network failed (try
// again later); hasErrorResponse: every other failure (refused or malformed
// data, conversion, files). The failed job's text is CDcmComm::getLastError().
//
// Each request that CDcmComm accepted is answered exactly once, in the slot of
// its command; a refused request (false) is never answered.
//
// The background upload answers only its successes, always with
// isBackgroundUpload true: such an answer belongs to no user request. It must
// not end the foreground busy indicator, touch CDcmComm::getLastError() or
// mark the recording shown; it only means that the recording list changed.
class CDcmCallbackInterface
{
public:
    virtual void dcmRespSendPacsFile(bool hasNetworkError, bool hasErrorResponse,
                                     bool isBackgroundUpload) = 0;
    virtual void dcmRespLoadMwl(bool hasNetworkError, bool hasErrorResponse) = 0;
    virtual void dcmRespLoadPacsList(bool hasNetworkError, bool hasErrorResponse) = 0;
    virtual void dcmRespLoadFromPacs(bool hasNetworkError, bool hasErrorResponse) = 0;
    virtual void dcmRespTestMwlCredentials(bool hasNetworkError, bool hasErrorResponse) = 0;
    virtual void dcmRespTestPacsCredentials(bool hasNetworkError, bool hasErrorResponse) = 0;

protected:
    ~CDcmCallbackInterface() = default;
};

#endif
