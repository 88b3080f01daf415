#ifndef MALVORANT_QFILE_H
#define MALVORANT_QFILE_H

#include "ecgrecords.h"

#include <string>

// Base of the recording file classes: the header fields every file kind shares
// and the operations a file kind implements. The base versions only log that
// the operation is missing and fail.
class CQFile
{
public:
    CQFile() = default;
    virtual ~CQFile();

    CQFile(const CQFile&) = delete;
    CQFile& operator=(const CQFile&) = delete;

    virtual bool openFileReadWrite(std::string path);
    virtual bool openFileReadWriteNoHeader(std::string path);
    virtual bool createFile(std::string path);
    virtual bool patchFileHeader(bool onReadWriteFile);
    virtual bool createFileNoHeader(std::string path);
    virtual bool readData(int index, EcgReadRecord& out);
    virtual bool writeData(int index, const EcgReadRecord& record);
    virtual bool addData(const unsigned char* bytes, int length);
    virtual bool addData(const EcgFileRecord* records, int count);
    virtual bool close();
    virtual void resetHeaderData();
    virtual int getTotalValidSamples();
    virtual const EcgFileRecord* retDataSet(int index, int& count);

    // Recording date and time as 14 digits (YYYYMMDDhhmmss), or empty.
    std::string dateTimeText;
    // Header texts, UTF-8. Set by the creator before createFile, filled by the
    // open operations.
    std::string patientName;
    std::string ownerFirstName;
    std::string ownerLastName;
    std::string spareText1;
    std::string spareText2;
    std::string spareText3;
    std::string spareText4;
    std::string extPatientId;
    std::string recordingText;
    std::string patientBirthdate;
    // The species text exactly as read from the header.
    std::string speciesText;
    // Carried for file kinds that have one more text; unused by .ecg files.
    std::string otherText;

protected:
    void clearHeaderTexts();
};

#endif
