#pragma once
// The one table of simulated handbox models: what each answers about itself.
//
// The words here are what the program identifies a handbox by: the product
// name (":GVP#"), the firmware date (":GVD#"), the mode letter (byte 06 hex)
// and the one-byte code answered to "T" in download mode.

#include <cstdint>
#include <span>
#include <string_view>

enum class HandboxModel {
    Autostar494,
    Autostar495,
    Autostar497,
    Autostar497Mk2,
    Lx200Gps,
    Rcx400,
    GermanMount1697,
};

struct ModelInfo {
    HandboxModel Model;
    std::string_view OptionName;  // as given to hexvac-sim --model
    std::string_view DisplayName; // for banners and logs
    std::string_view ProductName; // reply to ":GVP#", without "#"
    std::string_view DefaultDate; // reply to ":GVD#", without "#": "Mmm dd yyyy"
    char ModeLetter;              // reply to byte 06 hex in normal mode
    std::uint8_t DownloadCode;    // reply to "T" in download mode
    bool AcceptsBaudChange;       // understands ":SB" + index + "#"
    bool CanSignalBusy;           // may answer the busy NAK (15 hex) first
    int ProbeAddress;             // where the peek test's probe word sits, or -1
    std::uint16_t ProbeWord;      // the word the peek test expects there
};

std::span<const ModelInfo> AllModels();

// The row of Model; every model has one.
const ModelInfo& InfoOf(HandboxModel Model);

// The row whose OptionName is Name, or null.
const ModelInfo* FindModel(std::string_view Name);
