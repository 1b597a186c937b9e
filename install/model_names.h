#pragma once

// The printer model's driver name, which installation registers and uninstall looks for.
inline constexpr wchar_t kModelDriverName[] = L"KR-620";
