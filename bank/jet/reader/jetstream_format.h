#pragma once

#include <cstdint>

// The stream in which kviront-jetread hands a table's records to the program. All numbers
// are little-endian; a "string" is a u32 byte count and that many bytes (UTF-8 texts).
//
//   magic "KVJET1\n\0"
//   ('X' string reason: the file did not open, and nothing more)
//   'F' u8 version (3 or 4), u32 code page         the file opened
//   then one of:
//     'N' string table                              the file has no such table
//     'X' string reason                             the read failed
//     'C' u32 n, n x (u8 kind, string name)         the columns, then
//       'R' n x (u8 0 | u8 1 string value)          per record: NULL or the value
//       ...
//       'E' u32 number of records                   the end (or 'X' string reason)
//
// Values: integer and other kinds as libmdb's text form, texts as libmdb's UTF-8 (for Jet 3
// one Latin-1 character per byte of the file's code page), binary as the stored bytes.
namespace jetstream {

constexpr char magic[8] = {'K', 'V', 'J', 'E', 'T', '1', '\n', '\0'};
constexpr uint32_t maxColumns = 255; // as many as a Jet table can have

constexpr uint8_t tagFile = 'F';
constexpr uint8_t tagNoTable = 'N';
constexpr uint8_t tagFailed = 'X';
constexpr uint8_t tagColumns = 'C';
constexpr uint8_t tagRecord = 'R';
constexpr uint8_t tagEnd = 'E';

constexpr uint8_t kindInteger = 1;
constexpr uint8_t kindText = 2;
constexpr uint8_t kindBinary = 3;
constexpr uint8_t kindOther = 4;

} // namespace jetstream
