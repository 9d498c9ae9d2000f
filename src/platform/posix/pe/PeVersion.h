// Version resources read straight from a PE file (program or library), for
// the systems whose platform offers no version service of its own.
//
// The block handed to the rest of the program has the shape Windows' ANSI
// version functions produce: the VS_VERSIONINFO resource exactly as stored in
// the file (UTF-16 keys and strings), followed by a scratch area into which
// QueryVersionBlock writes string values converted to Windows-1251. A string
// whose UTF-16 value lies at byte offset off of the resource is written at
// rawSize + off / 2, so the answers of different string queries never share
// bytes and an answer stays valid while the block lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace yrn {

// Files larger than this are treated as having no version information.
constexpr size_t kMaxVersionFileSize = size_t{64} << 20;

// The raw VS_VERSIONINFO resource of a PE32 or PE32+ image: resource type
// RT_VERSION (16), its first name, that name's first language. The result is
// cut to the block's own length. False for anything that is not such an
// image or whose structures do not hold together.
bool ReadPeVersionResource(const uint8_t* image, size_t size, std::string& block);

// Size of the block built from a raw resource of rawSize bytes; 0 when no
// block can be built from that size.
uint32_t VersionBlockSize(uint32_t rawSize);

// Writes the block for raw into data (size bytes, at least
// VersionBlockSize(raw.size())). False, with data untouched, when raw is not
// a version resource or the buffer is too small.
bool BuildVersionBlock(const std::string& raw, uint32_t size, uint8_t* data);

// The value at path subBlock, as VerQueryValueA answers it:
//   "\"                             the VS_FIXEDFILEINFO (52 bytes);
//   "\VarFileInfo\Translation"      the translation list (length in bytes);
//   "\StringFileInfo\<key>\<name>"  the string in Windows-1251, NUL-terminated
//                                   (length in characters with the NUL).
// Path parts are compared ignoring letter case; empty parts (leading,
// trailing or doubled backslashes) are skipped. On failure value is nullptr
// and length 0.
bool QueryVersionBlock(uint8_t* data, uint32_t size, const std::string& subBlock,
                       const uint8_t*& value, uint32_t& length);

// The size query and the fetch over the bytes of a whole file.
uint32_t PeVersionInfoSize(const std::string& fileBytes);
bool PeVersionInfo(const std::string& fileBytes, uint32_t size, uint8_t* data);

}  // namespace yrn
