#ifdef _WIN32

#include "serial/Win32Comm.h"

#include <cstdio>

TWin32Comm::TWin32Comm()
    : readEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
    , writeEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

TWin32Comm::~TWin32Comm() {
    Close();
    if (readEvent_)
        ::CloseHandle(readEvent_);
    if (writeEvent_)
        ::CloseHandle(writeEvent_);
}

DWORD TWin32Comm::Open(const std::string& Name, const TWin32LineSettings& Settings) {
    Close();
    if (!readEvent_ || !writeEvent_)
        return ERROR_NOT_ENOUGH_MEMORY;
    const std::string path = "\\\\.\\" + Name;
    handle_ = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
        return ::GetLastError();

    // The queue sizes are a recommendation the driver may ignore.
    ::SetupComm(handle_, Settings.InSize, Settings.OutSize);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    // What the port was left with by another program is not trusted: every
    // field that matters is set, the rest keeps the driver's values.
    bool done = ::GetCommState(handle_, &dcb);
    if (done) {
        dcb.BaudRate = Settings.Baud;
        dcb.ByteSize = Settings.DataBits;
        dcb.Parity = Settings.Parity;
        dcb.StopBits = Settings.StopBits;
        dcb.fBinary = TRUE;
        dcb.fParity = Settings.Parity != NOPARITY;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        // DTR and RTS asserted, as opening a port on Linux leaves them.
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fTXContinueOnXoff = TRUE;
        dcb.fOutX = Settings.SoftwareFlow;
        dcb.fInX = Settings.SoftwareFlow;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE; // binary blocks hold zero bytes
        dcb.fAbortOnError = FALSE;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        done = ::SetCommState(handle_, &dcb);
    }
    // Set, not trusted to the driver's defaults: a read waits for every byte
    // it asks for, without time-out; a write may take WriteWaitMs.
    COMMTIMEOUTS timeouts{};
    timeouts.WriteTotalTimeoutConstant = WriteWaitMs;
    done = done && ::SetCommTimeouts(handle_, &timeouts) &&
           ::PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
    DWORD error = done ? StartRead() : ::GetLastError();
    if (error != ERROR_SUCCESS)
        Close();
    return error;
}

void TWin32Comm::Close() {
    if (handle_ == INVALID_HANDLE_VALUE)
        return;
    if (readPending_) {
        // The read's buffer and record must outlive the read: wait for the
        // cancelled read to end before they can be used again.
        ::CancelIo(handle_);
        DWORD ignored = 0;
        ::GetOverlappedResult(handle_, &readOverlapped_, &ignored, TRUE);
        readPending_ = false;
    }
    ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    ::ResetEvent(readEvent_);
}

DWORD TWin32Comm::SetBaud(DWORD Baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(handle_, &dcb))
        return ::GetLastError();
    dcb.BaudRate = Baud;
    return ::SetCommState(handle_, &dcb) ? ERROR_SUCCESS : ::GetLastError();
}

DWORD TWin32Comm::StartRead() {
    readOverlapped_ = OVERLAPPED{};
    readOverlapped_.hEvent = readEvent_;
    // The event is set when the read completes, at once or later: the one
    // place that takes a read's bytes is TakeRead.
    if (::ReadFile(handle_, readBuffer_, 1, nullptr, &readOverlapped_) ||
        ::GetLastError() == ERROR_IO_PENDING) {
        readPending_ = true;
        return ERROR_SUCCESS;
    }
    return ::GetLastError();
}

DWORD TWin32Comm::TakeRead(std::string& Bytes) {
    if (!IsOpen())
        return ERROR_INVALID_HANDLE;
    if (!readPending_)
        return StartRead();
    DWORD count = 0;
    if (!::GetOverlappedResult(handle_, &readOverlapped_, &count, FALSE)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_INCOMPLETE)
            return ERROR_SUCCESS;
        readPending_ = false;
        return error;
    }
    readPending_ = false;
    ::ResetEvent(readEvent_);
    // A read without time-out that ends with nothing: the line hung up and
    // has no more to give. Starting it again would spin.
    if (count == 0)
        return ERROR_HANDLE_EOF;
    Bytes.append(readBuffer_, count);
    const DWORD error = ReadQueued(Bytes);
    return error == ERROR_SUCCESS ? StartRead() : error;
}

// Reads every byte the driver holds now; the read completes at once, as the
// bytes are there.
DWORD TWin32Comm::ReadQueued(std::string& Bytes) {
    COMSTAT status{};
    DWORD errors = 0;
    if (!::ClearCommError(handle_, &errors, &status))
        return ::GetLastError();
    DWORD queued = status.cbInQue;
    while (queued > 0) {
        const DWORD ask = queued < sizeof readBuffer_ ? queued : DWORD(sizeof readBuffer_);
        readOverlapped_ = OVERLAPPED{};
        readOverlapped_.hEvent = readEvent_;
        DWORD count = 0;
        if (!::ReadFile(handle_, readBuffer_, ask, nullptr, &readOverlapped_) &&
            ::GetLastError() != ERROR_IO_PENDING)
            return ::GetLastError();
        if (!::GetOverlappedResult(handle_, &readOverlapped_, &count, TRUE))
            return ::GetLastError();
        ::ResetEvent(readEvent_);
        Bytes.append(readBuffer_, count);
        queued -= count < queued ? count : queued;
        if (count < ask)
            break;
    }
    return ERROR_SUCCESS;
}

DWORD TWin32Comm::Write(const char* Bytes, DWORD Count) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = writeEvent_;
    ::ResetEvent(writeEvent_);
    DWORD written = 0;
    if (!::WriteFile(handle_, Bytes, Count, nullptr, &overlapped) &&
        ::GetLastError() != ERROR_IO_PENDING)
        return ::GetLastError();
    // The write time-out bounds this wait.
    if (!::GetOverlappedResult(handle_, &overlapped, &written, TRUE))
        return ::GetLastError();
    return written == Count ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

DWORD TWin32Comm::PurgeInput() {
    return ::PurgeComm(handle_, PURGE_RXCLEAR) ? ERROR_SUCCESS : ::GetLastError();
}

DWORD TWin32Comm::PurgeOutput() {
    return ::PurgeComm(handle_, PURGE_TXCLEAR) ? ERROR_SUCCESS : ::GetLastError();
}

DWORD TWin32Comm::Drain() {
    return ::FlushFileBuffers(handle_) ? ERROR_SUCCESS : ::GetLastError();
}

std::string TWin32Comm::ErrorText(DWORD Error) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, Error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result;
    if (length > 0 && text)
        result.assign(text, length);
    if (text)
        ::LocalFree(text);
    while (!result.empty() && static_cast<unsigned char>(result.back()) <= ' ')
        result.pop_back();
    if (result.empty()) {
        char number[32];
        std::snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(Error));
        result = number;
    }
    return result;
}

#endif // _WIN32
