#include "services/ts_report_thread.h"

namespace pelmar {

// The user-id library is a Windows DLL; natively there is none.
std::wstring DefaultSdkFolder() { return {}; }

std::string ReadUserIdLibrary(const std::wstring&, const ChangeJudge&) { return {}; }

bool OnlyAdministratorsChange(const std::wstring&) { return false; }

}  // namespace pelmar
