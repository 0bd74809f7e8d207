// The argument vectors of the privileged tools, in one table: the program builds every vector
// it sends as administrator from it, and the root helper starts nothing that no row matches, so
// the two cannot drift apart. Plain C library only, as the helper is built.
#pragma once

#include <cstddef>

#include "exec/tool_paths.h"
#include "kext/path_shapes.h"

namespace morvane {

/// The root helper's own operation, named where a tool's path stands: it creates or refreshes
/// the reboot marker itself, never through a link (see morvane-exec).
inline constexpr char kMarkerOperation[] = "--mark";

/// What one word of a vector must be.
enum class WordShape {
  kEnd,              ///< the vector has no more words
  kLiteral,          ///< exactly the row's text
  kRemovalTarget,    ///< what a removal's tools are given (isRemovalTarget)
  kExtensionsEntry,  ///< an entry directly inside the extensions folder that names a kext
  kKextSource,       ///< an absolute path whose last piece names a kext
  kInstalledCopy,    ///< the installed copy of the word before it (isInstalledCopy)
  kMarkerPath,       ///< an absolute path that does not end in a slash
};

struct VectorWord {
  WordShape shape = WordShape::kEnd;
  const char* literal = nullptr;
};

inline constexpr std::size_t kMaxVectorWords = 3;

/// One vector: the tool, compared string for string, and the shapes of its arguments.
struct ToolVector {
  const char* tool;
  VectorWord words[kMaxVectorWords];
};

constexpr VectorWord literal(const char* text) {
  return {WordShape::kLiteral, text};
}
constexpr VectorWord shaped(WordShape shape) {
  return {shape, nullptr};
}

// An upgrade removes the installed copy before its copy, as a removal does: unload, then
// remove the entry itself, never what a link there points to.
inline constexpr ToolVector kUnloadVector{kKextunloadTool, {shaped(WordShape::kRemovalTarget)}};
inline constexpr ToolVector kRemoveVector{kRmTool,
                                          {literal("-rf"), shaped(WordShape::kRemovalTarget)}};
// -H follows a link named as the source, so that a source swapped for a link after the program
// looked at it is copied as what it points to, never installed as a link.
inline constexpr ToolVector kCopyVector{
    kCpTool, {literal("-RH"), shaped(WordShape::kKextSource), shaped(WordShape::kInstalledCopy)}};
inline constexpr ToolVector kLoadVector{kKextloadTool, {shaped(WordShape::kExtensionsEntry)}};
inline constexpr ToolVector kTouchVector{kTouchTool, {literal(kExtensionsFolder)}};
// Both writes replace the whole variable.
inline constexpr ToolVector kSetBootArgsVector{kNvramTool, {literal("boot-args=io=0x00040000")}};
inline constexpr ToolVector kClearBootArgsVector{kNvramTool, {literal("boot-args=")}};
inline constexpr ToolVector kMarkerVector{kMarkerOperation, {shaped(WordShape::kMarkerPath)}};

/// Every vector the program sends as administrator; the helper's whole allow-list.
inline constexpr const ToolVector* kToolVectors[] = {
    &kUnloadVector, &kRemoveVector,      &kCopyVector,          &kLoadVector,
    &kTouchVector,  &kSetBootArgsVector, &kClearBootArgsVector, &kMarkerVector,
};

/// A vector filled in, as a privileged run takes it: the tool and its null-terminated
/// arguments (the tool's own name not among them).
struct ToolCall {
  const char* tool;
  const char* arguments[kMaxVectorWords + 1];
};

/// `vector` with `first` and then `second` as its words that are not literal. The texts must
/// outlive the call.
ToolCall toolCall(const ToolVector& vector, const char* first = nullptr,
                  const char* second = nullptr);

/// True when `argv` (the tool, then its arguments, null-terminated) matches a row of
/// kToolVectors word for word.
bool isAllowedVector(const char* const* argv);

}  // namespace morvane
