#pragma once

struct Program;
class Host;

// "Change EPROM" / key C: asks which parameter and its new value, then starts the
// remote write the poll cycle carries out.
void ChangeSetupParameter(Program& program, Host& host);
