#ifndef MALVORANT_UITEXTS_H
#define MALVORANT_UITEXTS_H

#include <QString>
#include <cstdint>

// The texts the bridge publishes about a patient and a recording. Numbers and
// month names are the C locale's whatever the user's locale.
namespace uitexts {

// 1 "Male", 2 "Female", 3 "Male, Neutered", 4 "Female, Spayed",
// 5 "Not Specified", anything else "Unknown".
QString gender(int sex);
// "7Y3M" for a birth time 7 years and 3 months before now; empty when no
// birth time is set. Months never read 12.
QString age(std::int64_t birthdate, std::int64_t now);
// The weight in at most six significant digits with "Lb" or "Kg"; empty for 0.
QString weight(float weight, bool unitIsPound);
// "%d-%b-%Y" of the stored time stamp (already local wall-clock seconds).
QString fileDate(std::int64_t time);
// "%02d:%02d:%02d" of the stored time stamp's time of day.
QString timeOfDay(std::int64_t time);
// Telemedicine case state as shown beside the recording.
QString qvlCaseStatus(int status);
// Why a stored recording's file is refused (its reason as the file layer
// gave it) and what that means for the user.
QString refusedRecording(const QString& reason);

} // namespace uitexts

#endif
