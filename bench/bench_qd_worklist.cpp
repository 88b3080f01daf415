// A worklist query of 10,000 answers from a peer on this machine into
// worklistTable, the way the DICOM worker runs it: on a thread of its own
// with its own database connection.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include "dbman.h"
#include "dcmquerytable.h"
#include "dicomrig.h"

#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/oflog/oflog.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
const int kAnswers = 10000;
const int kRuns = 5;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
    QTemporaryDir dir;
    int from = 0, to = 0;
    CDbMan db(dir.path(), from, to);
    if (!db.isOk()) {
        std::fprintf(stderr, "database: %s\n", qPrintable(db.errorText()));
        return 1;
    }

    dicomrig::FindPeer peer;
    peer.setAnswers(kAnswers, [](int i, DcmDataset& ds) {
        const QByteArray n = QByteArray::number(i);
        ds.putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 100");
        ds.putAndInsertString(DCM_PatientName, ("Miller" + n + "^Rex" + n).constData());
        ds.putAndInsertString(DCM_PatientID, ("P" + n).constData());
        ds.putAndInsertString(DCM_AccessionNumber, ("ACC" + n).constData());
        ds.putAndInsertString(DCM_StudyInstanceUID, ("1.2.826.0.1.3680043.2.1." + n).constData());
        ds.putAndInsertString(DCM_ResponsiblePerson, ("Miller" + n + "^Anna").constData());
        ds.putAndInsertString(DCM_PatientSpeciesDescription, "Canine");
        ds.putAndInsertString(DCM_PatientBreedDescription, "Beagle");
        ds.putAndInsertString(DCM_PatientSex, "F");
        ds.putAndInsertString(DCM_PatientBirthDate, "20190301");
        ds.putAndInsertString(DCM_PatientWeight, "12.5");
        DcmItem* step = nullptr;
        if (ds.findOrCreateSequenceItem(DCM_ScheduledProcedureStepSequence, step, -2).good() && step) {
            step->putAndInsertString(DCM_Modality, "ECG");
            step->putAndInsertString(DCM_ScheduledProcedureStepStartDate, "20260115");
        }
    });
    if (!peer.start()) {
        std::fprintf(stderr, "peer did not start\n");
        return 1;
    }

    DcmQueryRequest request;
    request.worklist = true;
    request.host = "127.0.0.1";
    request.port = peer.port();
    request.calledAeTitle = "FINDPEER";
    request.callingAeTitle = "MALVORANT";

    std::vector<double> seconds;
    for (int run = 0; run < kRuns; ++run) {
        int code = -1;
        int rows = 0;
        std::string error;
        QElapsedTimer timer;
        timer.start();
        std::unique_ptr<QThread> worker(QThread::create([&] {
            code = runDcmQueryJob(request, CDbMan::threadDatabase(), error, &rows);
        }));
        worker->start();
        worker->wait();
        seconds.push_back(timer.nsecsElapsed() / 1e9);
        if (code != 0 || rows != kAnswers) {
            std::fprintf(stderr, "query failed: code %d, rows %d, %s\n", code, rows, error.c_str());
            return 1;
        }
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("BENCH worklist_10k_s %.3f s\n", seconds[seconds.size() / 2]);
    return 0;
}
