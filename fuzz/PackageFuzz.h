// What the in-process workbook targets share: an input that is a whole package is read as it stands;
// any other input becomes the main XML part of a template package (stored, not deflated), so the
// search reaches the XML readers instead of stopping at the zip layer.
#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace zb32::fuzz {

// Reads the package built from `data` and checks what the reader hands back: cells inside each
// sheet's bounds, within the cell limit, a dump that reads back whole.
void readPackage(const uint8_t* data, size_t size, const char* templateFixture, const char* mainPart);
// Reads `bytes` as a workbook file of any format, with the same checks.
void readAndCheck(const QByteArray& bytes);

} // namespace zb32::fuzz
