#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace morvane {

using OSStatus = std::int32_t;
using AuthorizationFlags = std::uint32_t;

/// A per-run credential; 0 is none. The service keeps whatever stands behind it.
using AuthorizationRef = std::uintptr_t;
inline constexpr AuthorizationRef kNoAuthorization = 0;

inline constexpr OSStatus errAuthorizationSuccess = 0;
inline constexpr OSStatus errAuthorizationDenied = -60005;
inline constexpr OSStatus errAuthorizationCanceled = -60006;
inline constexpr OSStatus errAuthorizationInternal = -60008;
inline constexpr OSStatus errAuthorizationToolExecuteFailure = -60031;

/// The right to act as administrator, the one right the program asks for.
inline constexpr char kAuthorizationRightAdmin[] = "system.privilege.admin";

inline constexpr AuthorizationFlags kAuthorizationFlagDefaults = 0;
inline constexpr AuthorizationFlags kAuthorizationFlagInteractionAllowed = 1;
inline constexpr AuthorizationFlags kAuthorizationFlagExtendRights = 2;
inline constexpr AuthorizationFlags kAuthorizationFlagPreAuthorize = 16;

struct AuthorizationItem {
  const char* name;
  std::size_t valueLength;
  void* value;
  std::uint32_t flags;
};

struct AuthorizationRights {
  std::uint32_t count;
  AuthorizationItem* items;
};

/// A tool started with administrator rights. Destroying it closes what connects the program to
/// the tool; it never waits.
class PrivilegedTool {
 public:
  virtual ~PrivilegedTool() = default;

  /// Returns when this tool, and no other child of the program, has ended.
  virtual void waitUntilExit() = 0;
};

/// The platform's authorization: a credential created once per run, a request for a right that
/// may ask the user, and the start of a tool as administrator.
class AuthorizationService {
 public:
  virtual ~AuthorizationService() = default;

  virtual OSStatus create(AuthorizationFlags flags, AuthorizationRef* authorization) = 0;
  virtual OSStatus copyRights(AuthorizationRef authorization, const AuthorizationRights& rights,
                              AuthorizationFlags flags) = 0;

  /// Starts `tool` with `arguments`, a null-terminated vector that does not hold the tool's own
  /// name. On status 0, `started` holds the running tool.
  virtual OSStatus executeWithPrivileges(AuthorizationRef authorization, const char* tool,
                                         AuthorizationFlags flags, const char* const* arguments,
                                         std::unique_ptr<PrivilegedTool>* started) = 0;

  virtual OSStatus free(AuthorizationRef authorization, AuthorizationFlags flags) = 0;
};

}  // namespace morvane
