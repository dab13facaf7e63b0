// Decodes a saved debug log given in arbitrary chunks (a file or a pipe read block by block), line by line,
// so that a line split across two reads decodes as the whole line.
#pragma once

#include <cstddef>
#include <string>

namespace quill {

class CDebugStreamDecoder {
 public:
  // Appends to out every line completed by this chunk, decoded and followed by "\n". A "\r" before the
  // "\n" is part of the line; the decoder copies it through.
  void Feed(const char* data, size_t length, std::string& out);
  // Appends the last line if the input did not end with "\n"; no line end is added to it.
  void Finish(std::string& out);

 private:
  std::string partial_;  // the start of a line whose end has not been read yet
};

}  // namespace quill
