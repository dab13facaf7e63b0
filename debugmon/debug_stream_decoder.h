// Decodes a saved debug log given in arbitrary chunks (a file or a pipe read block by block), line by line,
// so that a line split across two reads decodes as the whole line.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quill {

class CDebugStreamDecoder {
 public:
  // Every line this chunk completes, decoded and followed by "\n". A "\r" before the "\n" is part of the
  // line; the decoder copies it through. The text stays valid until the next call.
  std::string_view Feed(const char* data, size_t length);
  // The last line if the input did not end with "\n", with no line end added.
  std::string_view Finish();

 private:
  void DecodeLines(std::string_view lines);

  std::string partial_;  // the start of a line whose end has not been read yet
  std::unique_ptr<char[]> out_;
  size_t capacity_ = 0;
  size_t size_ = 0;
};

}  // namespace quill
