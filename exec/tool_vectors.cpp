#include "exec/tool_vectors.h"

#include <cstring>

namespace morvane {
namespace {

bool fits(const VectorWord& word, const char* text, const char* before) {
  const std::size_t length = std::strlen(text);
  switch (word.shape) {
    case WordShape::kEnd:
      return false;
    case WordShape::kLiteral:
      return std::strcmp(text, word.literal) == 0;
    case WordShape::kRemovalTarget:
      return isRemovalTarget(text);
    case WordShape::kExtensionsEntry:
      return isExtensionsEntry(text);
    case WordShape::kKextSource:
      return text[0] == '/' && namesAKext(lastPiece(text, length));
    case WordShape::kInstalledCopy:
      return isInstalledCopy(before, text);
    case WordShape::kMarkerPath:
      return text[0] == '/' && text[length - 1] != '/';
  }
  return false;
}

bool matches(const ToolVector& vector, const char* const* argv) {
  if (std::strcmp(argv[0], vector.tool) != 0) {
    return false;
  }
  std::size_t word = 0;
  for (; word < kMaxVectorWords && vector.words[word].shape != WordShape::kEnd; ++word) {
    if (argv[word + 1] == nullptr || !fits(vector.words[word], argv[word + 1], argv[word])) {
      return false;
    }
  }
  return argv[word + 1] == nullptr;
}

}  // namespace

ToolCall toolCall(const ToolVector& vector, const char* first, const char* second) {
  ToolCall call{vector.tool, {}};
  const char* paths[] = {first, second};
  std::size_t next = 0;
  for (std::size_t word = 0; word < kMaxVectorWords; ++word) {
    const VectorWord& shape = vector.words[word];
    if (shape.shape == WordShape::kEnd) {
      break;
    }
    call.arguments[word] = shape.shape == WordShape::kLiteral ? shape.literal
                           : next < 2                         ? paths[next++]
                                                              : nullptr;
  }
  return call;
}

bool isAllowedVector(const char* const* argv) {
  if (argv[0] == nullptr) {
    return false;
  }
  for (const ToolVector* vector : kToolVectors) {
    if (matches(*vector, argv)) {
      return true;
    }
  }
  return false;
}

}  // namespace morvane
