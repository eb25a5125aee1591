#pragma once
// .qel files: a headerless run of 4-byte little-endian records, each a
// SpectrumPoint (Code, Value): the non-empty slots of the spectrum in index
// order, parameter records included.

#include <string>

#include "spectrum.h"

namespace qel {

inline constexpr std::size_t MaxSpectrumRecords = 65536;

// The file's bytes for the current spectrum.
std::string SerializeSpectrum(const SpectrumBuffer& spectrum);

// Writes every non-empty slot. The file is replaced atomically: on a failure
// the old file stays as it was and FileError names the file and the reason.
void SaveSpectrum(const SpectrumStore& store, const std::string& path);

// Replaces the spectrum by the file's records, placed by their content (data
// points 0..4095 at their Code, parameter records at their tag, the later
// record winning; processed points 4096..65519 are dropped); BackupSpectrum
// keeps the records as read. Returns false, changing nothing, when no file
// exists. The whole file is read before anything changes: a file that cannot
// be read, or holds more than 65536 records, throws FileError and leaves the
// store as it was.
bool LoadSpectrum(SpectrumStore& store, const std::string& path);

// The placement step alone, for bytes already read (at most 65536 records).
void PlaceRecords(SpectrumStore& store, std::string_view bytes);

}  // namespace qel
