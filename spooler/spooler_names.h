#pragma once

// Names the install and uninstall paths share with the spooler.
inline constexpr wchar_t kUsbMonitorName[] = L"USB Printer Monitor";
inline constexpr char kUsbMonitorNameA[] = "USB Printer Monitor";
inline constexpr wchar_t kUsbPortName[] = L"USB PORT:";
inline constexpr char kUsbPortNameA[] = "USB PORT:";
inline constexpr wchar_t kMonitorDllName[] = L"ZelvokUSBMon.dll";
inline constexpr wchar_t kMonitorUiDllName[] = L"ZelvokUSBMonUI.dll";
inline constexpr wchar_t kPrintProcessorName[] = L"WinPrint";
inline constexpr wchar_t kRawDataType[] = L"Raw";
// The Print Spooler's service, as the service control manager names it.
inline constexpr wchar_t kSpoolerServiceName[] = L"Spooler";
