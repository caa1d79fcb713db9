#include "model/protocol_error.h"
#include "model/setup_table.h"
#include "protocol/protocol.h"

int StoreSetupValue(const SetupState& setup, RadioNetwork& network, ProtocolError& errors, int radio, int address,
                    uint8_t value, int errorCode) {
    int row = RowOfAddress(setup, address);
    if (row < 0 || row >= kParamSlots) {
        RecordFault(errors, ProtocolFault(errorCode), address - kEepromBase);
        return -1;
    }
    if (radio < 0 || radio >= kRadioSlots) return -1;
    RadioRecord& record = network.radios[radio];
    record.eepromValid[row] = 1;
    record.eepromValue[row] = value;
    return row;
}
