// A small formatter for screen texts: %c %d %u %x %X %p %s %%, a width, '0' fill.
#pragma once

#include <cstdarg>
#include <cstdint>

extern const char* const g_pcHex;

uint32_t uvsnprintf(char* buffer, uint32_t size, const char* format, va_list arguments);
uint32_t usprintf(char* buffer, const char* format, ...);
