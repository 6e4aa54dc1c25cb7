#pragma once

#include <cstdint>

namespace Tavo {

enum ConversionResult { conversionOK = 0, sourceExhausted = 1, targetExhausted = 2, sourceIllegal = 3 };
enum ConversionFlags { strictConversion = 0, lenientConversion = 1 };

// Both advance *sourceStart and *targetStart past what was converted, so the
// caller keeps the converted prefix when a conversion stops early.
ConversionResult ConvertUTF16toUTF8(const char16_t** sourceStart, const char16_t* sourceEnd,
                                    char** targetStart, char* targetEnd, ConversionFlags flags);
ConversionResult ConvertUTF8toUTF16(const char** sourceStart, const char* sourceEnd, char16_t** targetStart,
                                    char16_t* targetEnd, ConversionFlags flags);
// Overlong forms, surrogates, code points above U+10FFFF and bad lead or
// trail bytes are illegal; length is 1 to 4.
bool isLegalUTF8(const unsigned char* source, int length);

}  // namespace Tavo
