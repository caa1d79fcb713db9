#pragma once
#include <cstdint>
#include <span>
#include <string>

// Runs a captured reply stream through the frame assembler and the decoders on a
// fresh program (every byte available at once) and describes it as JSON Lines:
// one object per complete frame and one per error record, in stream order; with
// `withTable`, a last line with the master, the radio table and the error recorder.
std::string DecodeCaptureToJson(std::span<const uint8_t> capture, bool withTable);
