#pragma once
#include <cstdint>

#include "model/log_state.h"
#include "model/poll_state.h"
#include "model/protocol_error.h"
#include "model/radio_network.h"
#include "model/request_frame.h"
#include "platform/clock.h"
#include "platform/live_listener.h"

// First index in from..radioCount holding the serial, or -1.
int FindRadio(const RadioNetwork& network, uint32_t serial, int from);
// Indexes the serial numbers of radios 1..radioCount afresh (first slot wins).
void RebuildRadioIndex(const RadioNetwork& network);
// Appends a radio without searching: serial set, freqOffsetCode 128, list window follows.
// Returns the new index, or -1 when all 2047 radio slots are taken (the refusal is
// counted in refusedAdditions and recorded as an error).
int AppendRadio(RadioNetwork& network, ProtocolError& errors, uint32_t serial);
// A radio heard on the air (a reply or report from a serial not in the table):
// appended as provisional. When the table is full the oldest provisional radio
// gives way and the newcomer takes its slot, starting clean; never the selected
// radio nor `keep` or `keepToo` (the radio a reply is for, the radio a setup
// sequence works on; -1: none). Returns the index, or -1 (refusal counted) when
// no radio can give way.
int AddRadioFromAir(RadioNetwork& network, ProtocolError& errors, uint32_t serial, int keep, int keepToo = -1);
// The radio stays for good: it answered its own poll or was typed in.
void KeepRadio(RadioNetwork& network, int index);
// Searches slots 0..radioCount; appends when absent and shows "Number Radios=".
// A radio found or added here was asked for by the user and stays for good.
// Returns -1 only when the table is full.
int FindOrAddRadio(RadioNetwork& network, ProtocolError& errors, LiveListener& live, uint32_t serial);
// Removes the first radio 1..radioCount with the serial; later radios, with their
// hops, cached parameters and history, move down one slot. False when absent.
bool DeleteRadio(RadioNetwork& network, uint32_t serial);
// Index 0..radioCount of the serial, or -1.
int LocateRadio(const RadioNetwork& network, uint32_t serial);
void ResetDisconnectCounts(RadioNetwork& network);
// Clears every measurement, keeping serials, names and repeater numbers.
// The run start comes from the clock when there is one.
void ResetMeasurements(RadioNetwork& network, LogState& log, const Clock* clock);
// The start-up / New Network state: empty table, "NONAME.RAD", random polling.
void NewNetworkReset(RadioNetwork& network, PollState& poll, RequestFrame& request, LogState& log, const Clock* clock);
