#pragma once
#include <string>

struct RadioNetwork;

// The samples a graph screen plots, as CSV: the local time of each sample
// (ISO 8601, no zone), then each series in the units the graph's legend uses.
//   Graphics3 (graph 3): signal level, noise level, receive % (error % for the
//     master), data rate kB/s, bad packets kB/s (rates belong to the interval up
//     to the next sample, so the last sample has none)
//   Graphics4 (graph 4): voltage V, temperature C, frequency offset ppm (the
//     graph skips the first four samples, so they have none)
// Numbers are printed so that reading them back gives the same values.
// Returns false with `error` set when the run's start time cannot be read.
bool HistoryCsvText(const RadioNetwork& network, int radio, int graph, std::string& csv, std::string& error);
