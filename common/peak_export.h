// A run of the peak tests as the runner prints it and as it is saved: plain text with one
// line per test, one JSON object, CSV with one row per test. Numbers always have a point
// before their decimals, whatever the locale.
#pragma once

#include <string>

#include "common/number_text.h"
#include "common/peak_result.h"

// "1234.57 MB/s, 1177.38 IOPS, latency p50 6789.10 us, p99 7001.20 us, p99.9 7500.00 us".
std::string Peak_Figures_Text(const Peak_Test_Result& test);

// What did the transfers and on what file: "io_uring, direct, test file 1.07 GB, 5 s per
// test", with the reason when a pool of threads stood in for io_uring.
std::string Peak_Setup_Text(const Peak_Result& result);

// The setup line, then one line per test with its figures and what answered it, a note
// when a test measured less than its time, and "stopped" after a stopped run.
std::string Peak_Text(const Peak_Result& result);

// {"target":...,"size":...,"seconds":...,"engine":...,"engine_note":...,"direct":...,
//  "note":...,"tests":[{"key":...,"mbps":...,"iops":...,"latency_us":{"p50":...,"p99":...,
//  "p99.9":...},"device_bytes":...,"cached":...,"check":...,"note":...},...],"stopped":...}
std::string Peak_Json(const Peak_Result& result);

// A header and one row per test, each with the run's target, date (when it ended, local
// time), seconds, file size and engine.
std::string Peak_Csv(const Peak_Result& result, const std::string& date);
