#pragma once
// The stand-in's record of what it did, for tests to assert on: one line per
// event, appended to the file named by ZELKORA_STANDIN_TRANSCRIPT.

#include <cstdint>
#include <string>
#include <string_view>

#include "text.h"

namespace zelkora::standin {

// Exit code for input the stand-in cannot follow (unknown option, bad
// scenario, failing transcript); scenarios choose their own codes apart from it.
inline constexpr int kStandInFailure = 99;

inline constexpr wchar_t kTranscriptVariable[] = L"ZELKORA_STANDIN_TRANSCRIPT";

// Appends one record. Each record is a separate open-append-close, so the
// file is complete at every moment and a child process can share it.
void record(std::string_view line);

// Records "error <message>" and prints it to standard error.
void record_error(std::string_view message);

// True once a record could not be written: the run then ends as a failure,
// since a test would otherwise read an incomplete transcript.
bool transcript_failed();

// Pipe bytes as one printable line: valid UTF-8 stays as it is, control
// bytes and invalid sequences become \xHH.
std::string printable(std::string_view bytes);

std::string decimal(std::uint64_t value);

}  // namespace zelkora::standin
