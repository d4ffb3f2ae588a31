#pragma once
// One open Windows serial port, on the Win32 serial calls: the handle, the
// overlapped records of its reads and writes, and every Win32 failure turned
// into one error code with its system text.
//
// Plain C++ on the system API, without Qt; Win32SerialLine.cpp puts it under
// the port object and lets the event loop watch ReadEvent().
//
// Reading: one overlapped read of one byte, without time-out, is always
// pending while the port is open; when it completes, whatever else the
// driver holds by then is read at once, and the next one-byte read starts.
// Its event is set on completion, so a program sleeps on that event and
// never polls. (A read that ends on the first byte through the time-outs
// alone, ReadIntervalTimeout and ReadTotalTimeoutMultiplier at MAXDWORD, is
// never completed by Wine, nor is WaitCommEvent; this way is plain Win32
// that Windows and Wine both complete.) Writing hands the bytes to the
// driver and waits until the driver has taken them, at most WriteWaitMs.

#ifdef _WIN32

#include <windows.h>

#include <string>

struct TWin32LineSettings {
    DWORD Baud = 9600;
    BYTE DataBits = 8;
    BYTE Parity = NOPARITY; // NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY
    BYTE StopBits = ONESTOPBIT;
    bool SoftwareFlow = false; // XON/XOFF both ways
    DWORD InSize = 32768;
    DWORD OutSize = 8192;
};

class TWin32Comm {
public:
    // A write the driver has not taken after this long has failed.
    static constexpr DWORD WriteWaitMs = 5000;

    TWin32Comm();
    ~TWin32Comm();
    TWin32Comm(const TWin32Comm&) = delete;
    TWin32Comm& operator=(const TWin32Comm&) = delete;

    // Opens "\\.\" + Name with exclusive access, sets Settings, the buffer
    // sizes and the time-outs, empties both queues and starts the first
    // read. ERROR_SUCCESS or the error; the port stays closed on an error.
    DWORD Open(const std::string& Name, const TWin32LineSettings& Settings);
    // Cancels the pending read and closes the handle.
    void Close();
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    DWORD SetBaud(DWORD Baud);

    // The event set when the pending read has completed.
    HANDLE ReadEvent() const { return readEvent_; }
    // When the pending read has completed: appends its byte and whatever
    // else the driver holds to Bytes, and starts the next read.
    // ERROR_SUCCESS, also when it has not completed yet, or the error the
    // reads ended with (ERROR_HANDLE_EOF for a line that hung up).
    DWORD TakeRead(std::string& Bytes);

    // Writes every byte, waiting until the driver took them.
    DWORD Write(const char* Bytes, DWORD Count);
    // Empties the driver's receive queue (the pending read goes on), or its
    // transmit queue.
    DWORD PurgeInput();
    DWORD PurgeOutput();
    // Waits until the driver's transmit queue is empty.
    DWORD Drain();

    // The system's text for Error ("The device is not connected."), or its
    // number when the system has none.
    static std::string ErrorText(DWORD Error);

private:
    DWORD StartRead();
    DWORD ReadQueued(std::string& Bytes);

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE readEvent_ = nullptr;  // manual-reset, set when a read completes
    HANDLE writeEvent_ = nullptr; // manual-reset, set when a write completes
    OVERLAPPED readOverlapped_{};
    bool readPending_ = false;
    char readBuffer_[4096];
};

#endif // _WIN32
