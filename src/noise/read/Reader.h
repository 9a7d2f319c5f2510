#pragma once

#include <string>
#include <string_view>

#include "noise/Record.h"

namespace velk::noise {

// Reads one run of a log, acquisition file or datalog (told apart by their headers) into a
// Record; "-" is standard input. Streams the file: memory is the samples and little else.
ReadResult ReadRecord(const std::string& file, const ReadOptions& options);

// The same from text in memory; `name` is the file's name in the record and the messages.
ReadResult ReadRecordText(std::string_view text, const std::string& name,
                          const ReadOptions& options);

}  // namespace velk::noise
