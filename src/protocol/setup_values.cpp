#include "model/program.h"
#include "model/protocol_error.h"
#include "model/setup_table.h"
#include "protocol/protocol.h"

int StoreSetupValue(Program& program, int radio, int address, uint8_t value, int errorCode) {
    int row = RowOfAddress(program.setup, address);
    if (row < 0 || row >= kParamSlots) {
        RecordFault(program.errors, ProtocolFault(errorCode), address - kEepromBase);
        return -1;
    }
    if (radio < 0 || radio >= kRadioSlots) return -1;
    RadioRecord& record = program.network.radios[radio];
    record.eepromValid[row] = 1;
    record.eepromValue[row] = value;
    return row;
}
