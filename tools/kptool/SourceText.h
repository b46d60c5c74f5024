// Reading a character source (docs/script-language.md): its lines, and each line's tokens
// (names, numbers, characters, strings, raw words and symbols) with their places, so that every
// diagnostic can point at its column. Used by the assembler's directives and its instruction
// encoder.
#pragma once

#include "platform/Types.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kp::tool::kps {

enum class Tok { Ident, Number, Char, String, Raw, Symbol };

struct Token {
    Tok type = Tok::Ident;
    std::string text;   // identifier or symbol as written; a string's code page 932 bytes
    DWORD number = 0;   // numbers, characters and raw words
    std::size_t at = 0; // byte index in the source line
    // A string as written (UTF-8, escapes applied): file names are opened by it.
    std::string utf8;
    // Why the string has no code page 932 form; only a text stored in the character needs one.
    std::string noCp932;
};

// The source's lines without their line ends (LF or CR LF); an empty text is one empty line.
std::vector<std::string> SplitLines(const std::string& text);

bool IsIdentStart(char c);
bool IsIdentChar(char c);
// The value of a hex digit, or -1.
int HexDigit(char c);

// Splits s[from..] into tokens; each token's `at` is its byte index in s. On failure `at` is
// the place of the fault and `error` says what is wrong there.
bool Tokenize(const std::string& s, std::size_t from, std::vector<Token>& tokens, std::string& error,
              std::size_t& at);

// vN or varN: the variable number, or -1 for any other word.
long VariableNumber(const std::string& word);

// A token as the author wrote it, for messages.
std::string Describe(const Token& t);

// Where the code of a line ends: before a comment and trailing blanks (strings aside).
std::size_t EndOfCode(const std::string& line);

// " (did you mean NAME?)" for the nearest of `names`, or "".
std::string DidYouMean(const std::string& word, const std::vector<std::string>& names);

} // namespace kp::tool::kps
