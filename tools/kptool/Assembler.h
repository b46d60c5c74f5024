// The character source language of `kptool build` (docs/script-language.md): a line-oriented
// text naming the window size, the cells (BMP files), the sounds (WAV files), the texts and
// settings of the character header, and the patterns as instructions written with the names of
// the opcode table. The assembler turns it into a build::Character and the Builder writes the
// file, check fields included. Reading the text is SourceText.h's, encoding an instruction line
// InstructionEncoder.h's; Assembler.cpp holds the directives.
#pragma once

#include "Builder.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kp::tool {

// Reads a file named in the source (as written there) into `out`; false when it cannot be read.
using ReadFileFn = std::function<bool(const std::string& name, build::Bytes& out)>;

// Assembles `text` (UTF-8; a byte order mark is skipped) into a character file image. Each error
// and warning is one diagnostic as compilers write them: "SOURCE:LINE:COLUMN: error: message",
// the source line, a caret under the place and any notes (Diagnostics.h), in line order. The
// image is only written when there is no error; warnings go to `warnings` when given.
bool AssembleSource(const std::string& sourceName, const std::string& text, const ReadFileFn& readFile,
                    build::Bytes& image, std::vector<std::string>& errors,
                    std::vector<std::string>* warnings = nullptr);

// Encodes one instruction line of a pattern body (an instruction or a `bytes` line, no label
// definition) for a format version, with the labels it may name at the given offsets.
bool EncodeInstructionLine(const std::string& line, WORD version, const std::map<std::string, DWORD>& labels,
                           build::Bytes& out, std::string& error);

// Whether a word can name a label: an identifier that is no instruction, value or variable name.
bool IsLabelName(const std::string& word);

} // namespace kp::tool
