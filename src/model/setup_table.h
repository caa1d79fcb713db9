#pragma once
#include <cstdint>

#include "model/protocol_error.h"
#include "model/radio_network.h"
#include "model/setup_state.h"

void FillSetupParameterTable(SetupState& setup);
// (0x0D80 + offset) AND 0xFFFF.
uint16_t AddressOfRow(const SetupState& setup, int row);
// First row below setupParamCount whose offset is address - 0x0D80, else -1.
int RowOfAddress(const SetupState& setup, int address);
// 39 for new-type radios and serial 0, else 34.
int SetupParamCountForSerial(uint32_t serial);
// Rows 6, 7, 8, 34 and 38 cannot be changed.
bool RowIsChangeable(int row);

// Stores a parameter value that radio r reported for an address. Not in the table:
// records `errorCode` (8 for a remote radio's reply, 3 for the master's echo) with the
// offset and returns -1. Else returns the row.
int StoreSetupValue(const SetupState& setup, RadioNetwork& network, ProtocolError& errors, int radio, int address,
                    uint8_t value, int errorCode);
