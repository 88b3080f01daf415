#include "qfile.h"

#include "debuglog.h"

namespace {
void notImplemented(const char* name)
{
    debugLogError(std::string("CFILE::") + name + "() not implemented in this instance");
}
}

CQFile::~CQFile() = default;

bool CQFile::openFileReadWrite(std::string)
{
    notImplemented("openFileReadWrite");
    return false;
}

bool CQFile::openFileReadWriteNoHeader(std::string)
{
    notImplemented("openFileReadWriteNoHeader");
    return false;
}

bool CQFile::createFile(std::string)
{
    notImplemented("createFile");
    return false;
}

bool CQFile::patchFileHeader(bool)
{
    notImplemented("patchFileHeader");
    return false;
}

bool CQFile::createFileNoHeader(std::string)
{
    notImplemented("createFileNoHeader");
    return false;
}

bool CQFile::readData(int, EcgReadRecord&)
{
    notImplemented("readData");
    return false;
}

bool CQFile::writeData(int, const EcgReadRecord&)
{
    notImplemented("writeData");
    return false;
}

bool CQFile::addData(const unsigned char*, int)
{
    notImplemented("addData");
    return false;
}

bool CQFile::addData(const EcgFileRecord*, int)
{
    notImplemented("addData");
    return false;
}

bool CQFile::close()
{
    notImplemented("close");
    return false;
}

void CQFile::resetHeaderData()
{
    notImplemented("resetHeaderData");
}

int CQFile::getTotalValidSamples()
{
    notImplemented("getTotalValidSamples");
    return 0;
}

const EcgFileRecord* CQFile::retDataSet(int, int& count)
{
    notImplemented("retDataSet");
    count = 0;
    return nullptr;
}

void CQFile::clearHeaderTexts()
{
    dateTimeText.clear();
    patientName.clear();
    ownerFirstName.clear();
    ownerLastName.clear();
    spareText1.clear();
    spareText2.clear();
    spareText3.clear();
    spareText4.clear();
    extPatientId.clear();
    recordingText.clear();
    patientBirthdate.clear();
    speciesText.clear();
    otherText.clear();
}
