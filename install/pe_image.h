// Whether a file's bytes make a whole 32-bit x86 PE image of the kind its
// name promises: the headers, every section the headers describe, the entry
// point, the layout in memory and the checksum Windows checks on drivers.
#pragma once

#include <string>
#include <vector>

#include "services/win_types.h"

enum class ImageKind {
  KernelDriver,  // for the native subsystem
  Program,       // for the Windows GUI or console subsystem
};

// What is wrong with `bytes` as an image of `kind`, as "it is ..."; empty when
// nothing is.
std::string ImageProblem(const std::vector<BYTE>& bytes, ImageKind kind);

// The PE checksum of `bytes` as Windows computes it (CheckSumMappedFile): the
// 16-bit one's complement sum of the file's words, with the four bytes of the
// checksum field at `checkSumAt` counted as zero, plus the file's length.
DWORD ImageCheckSum(const std::vector<BYTE>& bytes, size_t checkSumAt);

// Where the checksum field of a PE image lies, given the offset of its "PE"
// signature.
inline constexpr size_t CheckSumOffset(size_t peSignature) {
  return peSignature + 4 + 20 + 64;
}
