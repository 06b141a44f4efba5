// The headless runner's reporting: a finished run reported exactly as the window reports it,
// and the offline queue replayed on demand.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>

#include "common/run_result.h"

// The exit status of a report or a replay that the server did not (entirely) confirm.
inline constexpr int kExitNotConfirmed = 3;

// Reports the run made in target (the listed drive whose mount point holds it) with the
// machine profile and the computer identifier, prints the status text on its own line and
// returns 0 only for "OK". A stopped run is not reported. A stop ends the transfer within a
// second; the report then waits in the queue, written whole, as any report the server did
// not confirm.
int Send_Run_Report(const std::string& target, const Run_Result& result, std::stop_token stop = {});

// Prints the identifier the window reads at start-up, made and stored as the window does when
// the settings store has none. Returns 1 when the store cannot keep it.
int Print_Computer_Id();

// Replays the queue and prints one line per queue file: sent, kept, refused or moved aside.
// Returns 0 when no file was kept or refused. A stop ends the transfer going on within a
// second and keeps every file not sent yet.
int Replay_Queue(std::stop_token stop = {});
