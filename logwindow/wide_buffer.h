// Growing a malloc'ed UTF-16 buffer, for the texts the log window gathers.
#pragma once

#include <cstddef>

// Makes `text` (malloc'ed or null, `capacity` units) hold at least `needed`
// units, doubling its size so that many small appends stay cheap. False when
// memory is short; `text` and `capacity` are then unchanged.
bool GrowWideBuffer(wchar_t*& text, size_t& capacity, size_t needed);
