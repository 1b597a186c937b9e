#include "install/test_receipt.h"

#include <stdlib.h>
#include <string.h>
#include <strsafe.h>

#include "i18n/catalogue.h"
#include "install/install_job.h"
#include "install/install_record.h"
#include "spooler/spooler.h"
#include "system/probes.h"
#include "system/user_report.h"

namespace {

const BYTE kInitialise[] = {0x1B, 0x40};
const BYTE kChineseOn[] = {0x1C, 0x26};
const BYTE kChineseOff[] = {0x1C, 0x2E};
// Feeds to the cutter, as far as the mechanism itself knows it is, where a count of line
// feeds would be a guess, then cuts leaving one point: the one form of the cut that every
// printer of the command set takes. One without a cutter only feeds, past its tear bar.
const BYTE kFeedAndCut[] = {0x1D, 0x56, 0x42, 0x00};

// The receipt as it is put: every byte counted, stored while all of them fit.
struct Receipt {
    BYTE* out;
    size_t capacity;
    size_t used;
    DWORD fault;
};

void Put(Receipt* receipt, const void* bytes, size_t count)
{
    if (receipt->used + count <= receipt->capacity)
        memcpy(receipt->out + receipt->used, bytes, count);
    receipt->used += count;
}

// The text in the receipt's code page, one character at a time, so that each double-byte
// one is known as such and only those go in the Chinese mode.
void PutText(Receipt* receipt, const wchar_t* text, UINT codePage, int chinese)
{
    int inChinese = 0;
    for (const wchar_t* at = text ? text : L""; *at && !receipt->fault;) {
        const int units = IS_HIGH_SURROGATE(at[0]) && IS_LOW_SURROGATE(at[1]) ? 2 : 1;
        char bytes[8] = {};
        const int count = WideCharToMultiByte(codePage, 0, at, units, bytes, sizeof(bytes), nullptr, nullptr);
        at += units;
        if (count <= 0) {
            receipt->fault = GetLastError();
            break;
        }
        if (count == 1 && (static_cast<BYTE>(bytes[0]) < 0x20 || bytes[0] == 0x7F))
            bytes[0] = '?';
        const int wide = chinese && count > 1;
        if (wide != inChinese)
            Put(receipt, wide ? kChineseOn : kChineseOff, 2);
        inChinese = wide;
        Put(receipt, bytes, static_cast<size_t>(count));
    }
    if (inChinese)
        Put(receipt, kChineseOff, 2);
}

void PutLine(Receipt* receipt, const TestReceiptFacts& facts, const wchar_t* label, const wchar_t* value)
{
    PutText(receipt, label, facts.codePage, facts.chinese);
    if (value) {
        Put(receipt, " ", 1);
        PutText(receipt, value, facts.codePage, facts.chinese);
    }
    Put(receipt, "\n", 1);
}

} // namespace

int ComposeTestReceipt(const TestReceiptFacts& facts, const TestReceiptLabels& labels, BYTE* out, size_t capacity,
                       size_t* length)
{
    Receipt receipt = {out, capacity, 0, 0};
    Put(&receipt, kInitialise, sizeof(kInitialise));
    PutLine(&receipt, facts, labels.title, nullptr);
    PutLine(&receipt, facts, labels.model, facts.model);
    PutLine(&receipt, facts, labels.printer, facts.printerName);
    PutLine(&receipt, facts, labels.port, facts.portName);
    PutLine(&receipt, facts, labels.driver, facts.driverName);
    PutLine(&receipt, facts, labels.release, facts.release);
    wchar_t time[32] = {};
    const SYSTEMTIME& t = facts.time;
    StringCchPrintfW(time, ARRAYSIZE(time), L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                     t.wMinute, t.wSecond);
    PutLine(&receipt, facts, labels.time, time);
    for (BYTE character = 0x20; character <= 0x7E; ++character)
        Put(&receipt, &character, 1);
    Put(&receipt, "\n", 1);
    Put(&receipt, kFeedAndCut, sizeof(kFeedAndCut));
    *length = receipt.used;
    if (receipt.fault) {
        SetLastError(receipt.fault);
        return 0;
    }
    if (receipt.used > capacity) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return 1;
}

int SendRawJob(const wchar_t* printerName, const BYTE* bytes, size_t length, DWORD* jobId, const wchar_t** failedCall)
{
    *jobId = 0;
    HANDLE printer = nullptr;
    if (!Spooler().openPrinter(const_cast<wchar_t*>(printerName), &printer, nullptr)) {
        *failedCall = L"OpenPrinter";
        return 0;
    }
    wchar_t document[] = L"Test receipt";
    wchar_t dataType[] = L"RAW";
    DOC_INFO_1W doc = {document, nullptr, dataType};
    *jobId = Spooler().startDocPrinter(printer, 1, reinterpret_cast<BYTE*>(&doc));
    const wchar_t* failed = *jobId ? nullptr : L"StartDocPrinter";
    for (size_t sent = 0; !failed && sent < length;) {
        DWORD written = 0;
        const DWORD piece = static_cast<DWORD>(length - sent);
        if (!Spooler().writePrinter(printer, const_cast<BYTE*>(bytes + sent), piece, &written))
            failed = L"WritePrinter";
        // A spooler that takes nothing and says it did would be asked for ever.
        else if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            failed = L"WritePrinter";
        }
        sent += written;
    }
    if (!failed && !Spooler().endDocPrinter(printer))
        failed = L"EndDocPrinter";
    const DWORD cause = GetLastError();
    // A job left open would be printed, as far as it got, when its handle closes.
    if (failed && *jobId)
        Spooler().abortPrinter(printer);
    Spooler().closePrinter(printer);
    if (failed) {
        *failedCall = failed;
        SetLastError(cause ? cause : ERROR_GEN_FAILURE);
        return 0;
    }
    return 1;
}

TestReceiptOutcome PrintTestReceipt(const wchar_t* printerName)
{
    wchar_t line[1024] = {};
    PRINTER_INFO_2W* printers = nullptr;
    DWORD count = 0;
    const int listed = listPrinters(&printers, &count);
    const DWORD listCause = GetLastError();
    DWORD found = 0;
    if (!listed && listCause != ERROR_NO_DATA) {
        // No list to take the printer's spelling from: it is named as asked for.
        StringCchPrintfW(line, ARRAYSIZE(line), L"%s (EnumPrinters, %lu)", printerName, listCause);
        ReportLine(L"ERROR", "PO_GSTR_RECEIPT_NOT_SENT", line);
        return kReceiptNotSent;
    }
    if (DecidePrinterPlan(printers, count, printerName, &found) != kPlanKeep) {
        free(printers);
        ReportLine(L"ERROR", "PO_GSTR_RECEIPT_NO_PRINTER", printerName);
        return kReceiptNoModelPrinter;
    }
    const PRINTER_INFO_2W& printer = printers[found];
    TestReceiptFacts facts = {kModelTable[0].displayName, printer.pPrinterName, printer.pPortName,
                              printer.pDriverName, kProgramRelease, {}, CP_ACP, IsChineseSystem()};
    GetLocalTime(&facts.time);
    // A translation longer than a label's buffer is cut by the lookup.
    wchar_t texts[7][260] = {};
    const TestReceiptLabels labels = {
        GetLocalizedText("PO_GSTR_RECEIPT_TITLE", texts[0], 260),
        GetLocalizedText("PO_GSTR_RECEIPT_MODEL", texts[1], 260),
        GetLocalizedText("PO_GSTR_RECEIPT_PRINTER", texts[2], 260),
        GetLocalizedText("PO_GSTR_RECEIPT_PORT", texts[3], 260),
        GetLocalizedText("PO_GSTR_RECEIPT_DRIVER", texts[4], 260),
        GetLocalizedText("PO_GSTR_RECEIPT_RELEASE", texts[5], 260),
        GetLocalizedText("PO_GSTR_RECEIPT_TIME", texts[6], 260),
    };
    // Room for every label and value at 259 characters, even where each character switches
    // the Chinese mode; a receipt of longer ones is refused whole.
    BYTE receipt[16384];
    size_t length = 0;
    DWORD job = 0;
    const wchar_t* failedCall = L"ComposeTestReceipt";
    const int sent = ComposeTestReceipt(facts, labels, receipt, sizeof(receipt), &length) &&
                     SendRawJob(printer.pPrinterName, receipt, length, &job, &failedCall);
    const DWORD cause = GetLastError();
    if (sent)
        StringCchPrintfW(line, ARRAYSIZE(line), L"%lu: %s", job, printer.pPrinterName);
    else
        StringCchPrintfW(line, ARRAYSIZE(line), L"%s (%s, %lu)", printer.pPrinterName, failedCall, cause);
    free(printers);
    ReportLine(sent ? L"INFO" : L"ERROR", sent ? "PO_GSTR_RECEIPT_SENT" : "PO_GSTR_RECEIPT_NOT_SENT", line);
    return sent ? kReceiptSent : kReceiptNotSent;
}
