#include <windows.h>

#include <aclapi.h>

#include <array>
#include <vector>

#include "base/admin_only_file.h"
#include "base/win/scoped_handle.h"

namespace pelmar {
namespace {

// The well-known accounts of the access list, each an owned SID.
class WellKnownSid {
 public:
  WellKnownSid(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD first, DWORD second = 0) {
    if (!AllocateAndInitializeSid(&authority, count, first, second, 0, 0, 0, 0, 0, 0, &sid_)) {
      sid_ = nullptr;
    }
  }
  ~WellKnownSid() {
    if (sid_ != nullptr) FreeSid(sid_);
  }
  WellKnownSid(const WellKnownSid&) = delete;
  WellKnownSid& operator=(const WellKnownSid&) = delete;
  PSID get() const { return sid_; }
  bool Is(PSID other) const { return sid_ != nullptr && other != nullptr && EqualSid(sid_, other); }

 private:
  PSID sid_ = nullptr;
};

// S-1-3-4: an entry for it replaces the owner's implicit right to change the
// access list, which would otherwise let the owner grant itself writing.
constexpr DWORD kOwnerRightsRid = 4;

struct Accounts {
  WellKnownSid administrators{SECURITY_NT_AUTHORITY, 2, SECURITY_BUILTIN_DOMAIN_RID,
                              DOMAIN_ALIAS_RID_ADMINS};
  WellKnownSid system{SECURITY_NT_AUTHORITY, 1, SECURITY_LOCAL_SYSTEM_RID};
  WellKnownSid everyone{SECURITY_WORLD_SID_AUTHORITY, 1, SECURITY_WORLD_RID};
  WellKnownSid ownerRights{SECURITY_CREATOR_SID_AUTHORITY, 1, kOwnerRightsRid};
  bool Complete() const {
    return administrators.get() && system.get() && everyone.get() && ownerRights.get();
  }
  bool MayWrite(PSID sid) const { return administrators.Is(sid) || system.Is(sid); }
};

// Every right that changes the file's bytes, name, existence or access list.
constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                               FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER |
                               GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

// The protected access list of an administrators-only file, in `storage`.
bool BuildAdminOnlyList(const Accounts& who, std::vector<unsigned char>* storage) {
  const PSID sids[] = {who.administrators.get(), who.system.get(), who.everyone.get(),
                       who.ownerRights.get()};
  DWORD size = sizeof(ACL);
  for (PSID sid : sids) size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
  storage->assign(size, 0);
  auto* acl = reinterpret_cast<PACL>(storage->data());
  return InitializeAcl(acl, size, ACL_REVISION) &&
         AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, who.administrators.get()) &&
         AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, who.system.get()) &&
         AddAccessAllowedAce(acl, ACL_REVISION, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE,
                             who.everyone.get()) &&
         AddAccessAllowedAce(acl, ACL_REVISION, READ_CONTROL, who.ownerRights.get());
}

// Attempts at removing a file left in the way and creating the new one: a
// removal may only take effect a moment after it returns (Wine), and another
// process may put a file back in between.
constexpr int kCreateAttempts = 3;

HANDLE CreateNew(const std::wstring& path, SECURITY_ATTRIBUTES* attributes) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    // A file left there keeps its own access list when opened; only a new
    // one gets ours.
    (void)DeleteFileW(path.c_str());
    // Sharing for reading only: while this handle lives nobody else writes,
    // renames or deletes the file, and an open handle elsewhere makes this fail.
    handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, attributes,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) break;
  }
  return handle;
}

// Whether `acl` gives writing to nobody but Administrators and SYSTEM and
// takes the owner's implicit rights away (or the owner may write anyway).
bool ListKeepsOthersOut(const Accounts& who, PACL acl, PSID owner) {
  ACL_SIZE_INFORMATION info{};
  if (!GetAclInformation(acl, &info, sizeof info, AclSizeInformation)) return false;
  bool owner_limited = who.MayWrite(owner);
  for (DWORD i = 0; i < info.AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(acl, i, &entry)) return false;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;  // takes rights away only
    // Any other kind of entry (object, callback, conditional) is not ours.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if ((allowed->Mask & kWriteRights) != 0 && !who.MayWrite(sid)) return false;
    if (who.ownerRights.Is(sid)) owner_limited = true;
  }
  return owner_limited;
}

}  // namespace

bool RunsElevatedApartFromUser() {
  win::ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return false;
  // "Full" only exists beside a limited twin: the user's other processes run
  // with that one, without the Administrators group. Systems without UAC
  // answer with an error.
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  if (!GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size)) {
    return false;
  }
  return type == TokenElevationTypeFull;
}

CreatedFile CreateFileKeptFromWriters(const std::wstring& path, bool admin_only) {
  CreatedFile created;
  if (path.empty()) return created;
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (admin_only) {
    Accounts who;
    std::vector<unsigned char> list;
    SECURITY_DESCRIPTOR descriptor{};
    if (who.Complete() && BuildAdminOnlyList(who, &list) &&
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(list.data()), FALSE) &&
        SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
      handle = CreateNew(path, &attributes);
    }
  }
  // Without the list (or where the system refused it) the file is still
  // made; the caller then does not rely on it.
  if (handle == INVALID_HANDLE_VALUE) handle = CreateNew(path, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return created;
  created.file = reinterpret_cast<NativeFile>(handle);
  created.adminOnly = admin_only && OnlyAdministratorsWrite(created.file);
  return created;
}

bool OnlyAdministratorsWrite(NativeFile file) {
  Accounts who;
  if (!who.Complete()) return false;
  PSID owner = nullptr;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(reinterpret_cast<HANDLE>(file), SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &acl,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  // A missing list means everyone may do anything; an unprotected one takes
  // in what the folder hands down.
  const bool kept = GetSecurityDescriptorControl(descriptor, &control, &revision) &&
                    (control & SE_DACL_PRESENT) != 0 && (control & SE_DACL_PROTECTED) != 0 &&
                    acl != nullptr && ListKeepsOthersOut(who, acl, owner);
  LocalFree(descriptor);
  return kept;
}

}  // namespace pelmar
