#pragma once
#include <windows.h>

#include <stddef.h>

// A test receipt sent raw to a printer of the model: the printer's own commands (ESC/POS)
// go through the spooler to its port untouched by the driver, so a receipt that comes out
// proves the port and the device.

// The catalogue texts of the receipt's lines; the values are put after them, never into them.
struct TestReceiptLabels {
    const wchar_t* title;
    const wchar_t* model;
    const wchar_t* printer;
    const wchar_t* port;
    const wchar_t* driver;
    const wchar_t* release;
    const wchar_t* time;
};

// What the receipt says. Null texts print as empty ones.
struct TestReceiptFacts {
    const wchar_t* model;
    const wchar_t* printerName;
    const wchar_t* portName;
    const wchar_t* driverName;
    const wchar_t* release;
    SYSTEMTIME time;
    // The code page the texts are sent in, the system's ANSI one; chinese set on a Chinese
    // system, where each run of double-byte characters goes in the printer's Chinese
    // character mode (FS & before, FS . after).
    UINT codePage;
    int chinese;
};

// The receipt's bytes into out: ESC @, the title, a "label value" line for the model, the
// printer, its port, its driver, the release and the time (YYYY-MM-DD hh:mm:ss), a line of
// every printable ASCII character, then a feed to the cutter and a partial cut. A control
// character in a text prints as '?': a printer name cannot give the printer a command.
// 0 with ERROR_INSUFFICIENT_BUFFER and *length the bytes needed when they exceed capacity
// (a cut receipt could leave the printer in its Chinese mode, and never cuts), or with the
// cause of a text the code page cannot take.
int ComposeTestReceipt(const TestReceiptFacts& facts, const TestReceiptLabels& labels, BYTE* out, size_t capacity,
                       size_t* length);

// The bytes as one raw job (data type "RAW") on the printer: OpenPrinterW, StartDocPrinterW,
// WritePrinter until the spooler has taken every byte, EndDocPrinter. 1 with the job's id;
// else 0 with the cause in the last error and *failedCall naming the spooler call that
// failed, the job aborted so that no part of it prints.
int SendRawJob(const wchar_t* printerName, const BYTE* bytes, size_t length, DWORD* jobId, const wchar_t** failedCall);

enum TestReceiptOutcome {
    kReceiptSent,
    kReceiptNoModelPrinter, // no printer of the name, or its driver is not the model's
    kReceiptNotSent,
};

// The test receipt on the printer of that name (any letter case) that uses the model's
// driver, its facts as the spooler lists them, its texts in the system's language, with an
// "INFO" line naming the job or an "ERROR" line saying why not.
TestReceiptOutcome PrintTestReceipt(const wchar_t* printerName);
