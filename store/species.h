#ifndef MALVORANT_SPECIES_H
#define MALVORANT_SPECIES_H

#include <QString>
#include <cstddef>

// The built-in species and breed lists that a new database receives. The
// names are data: they are stored letter for letter as written here (typos
// included), because existing databases and peers carry them that way; only
// a name that is plainly broken is mended, in the list and (breedMends) in
// existing databases.

struct SpeciesRow
{
    int id;
    const char* name;
    int hasBreedList;
};

struct BreedRow
{
    int id;
    int speciesId;
    const char* name;
};

template <typename T>
struct RowSpan
{
    const T* rows = nullptr;
    std::size_t count = 0;
    const T* begin() const { return rows; }
    const T* end() const { return rows + count; }
    std::size_t size() const { return count; }
    const T& operator[](std::size_t i) const { return rows[i]; }
};

// Species 0 to 20 for applicationType 1 (the program), 0 to 4 for 0.
RowSpan<SpeciesRow> speciesRows(int applicationType);
// Breed list 1 (444 rows) for a non-zero applicationType, list 2 (343 rows) for 0.
RowSpan<BreedRow> breedRows(int applicationType);

// A breed name earlier lists wrote broken, and the name that replaces it.
struct BreedMend
{
    int speciesId;
    const char* written;
    const char* name;
};
RowSpan<BreedMend> breedMends();

// Look-ups in the full species list (ids 0 to 20), independent of any database.
// The name of a species id, empty for an id outside the list.
QString speciesNameById(int id);
// The id of a species name (exact match), -1 when the name is not in the list.
int speciesIdByName(const QString& name);

#endif
