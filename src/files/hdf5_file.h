#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "files/channel_set.h"

// HDF5 files of channels (*.h5), format "TAVRIL channels", version 1.
//
// Every string is UTF-8, fixed-length, exactly as long as its text (NUL
// padded; h5py gives it as bytes, .decode() makes it a str): a file without
// variable-length strings has no global heap, which libhdf5 1.10 cannot read
// safely once damaged.
// File attributes (on /):
//   creator         string  the program and its version (kProgramName)
//   format          string  "TAVRIL channels" ("TAVRIL session" for a session file)
//   format_version  int32   1; a reader refuses a version it does not know
// Group /channels, one dataset per record, named channel_<slot> (slot 0 to
// 7); a reader goes by the `slot` attribute, not by the name.
//   The dataset: the record's samples in volts, one-dimensional, float64
//   little-endian, in the order acquired. Each record keeps its own length
//   and rate: nothing is resampled or padded, and a record without samples
//   has an empty dataset whose attributes still describe it. Time of sample
//   i: i / rate seconds from the record's first sample.
//   Storage: chunked, chunks of 131072 values (1 MiB), or of the record's
//   length when shorter, no compression, maximum length unlimited, so that a
//   dataset can be extended as samples arrive.
//   Attributes, all scalars:
//     slot             int32    the channel table's slot, 0 to 7, once per file
//     title            string   the title (Windows-1252 in memory)
//     device           int16    board device number
//     chan             int16    board input channel
//     gain             int16
//     count            uint32   samples the record describes; the dataset's
//                               length whenever it holds samples
//     rate             float64  samples per second
//     unit             string   "V", the samples' unit
//     time_unit        string   "s"
//     sample_interval  float64  1 / rate, in seconds
//     acquired_at      string   when the board gave the samples, ISO 8601 UTC
//                               ("2026-12-07T12:45:36.123456789Z", 0 to 9
//                               fraction digits); absent when not known
//     max_index, min_index  uint32   statistics: index of the first maximum
//     max_value, min_value  float64  and minimum, their values, and the mean
//     mean                  float64  (as ComputeStatistics gives them)
//
// Reading takes any integer type for the integers, any float or integer type
// for rate and the statistics, and fixed or variable-length strings (h5py's
// attrs['slot'] = 3 stores an int64, attrs['title'] = 'x' a variable-length
// string), but only float64 (either byte order) for the samples, stored in the
// file (no external or virtual storage), compressed or not. unit, time_unit,
// sample_interval and the statistics are written for other programs and not
// read back: statistics are recomputed from the samples, and a record without
// samples gets zeros. Refused, with the reason: a string longer than its field
// (a title beyond 255 Windows-1252 bytes), a number outside its field's range,
// a slot outside 0 to 7 or twice, a dataset that is not float64 or not
// one-dimensional, or whose length is neither 0 nor `count`, any other object
// in /channels, more samples than memory can hold.
namespace tavril {

// Writes `records` into one HDF5 file at `path`, whole or not at all; each
// record's samples go to the disk in one write from its own memory. False
// with `why` (French) on failure, the previous file then unchanged.
bool WriteHdf5File(std::span<const SlotView> records, const std::filesystem::path& path,
                   std::string* why);

// Reads a file of channels, or a recording (files/recording_layout.h) whole
// in volts, into `records` (slot order, statistics computed). False with
// `why` (French: which file part, attribute or dataset, and what is wrong
// with it) when the file is missing, not HDF5, of neither layout, damaged,
// or larger than memory; `records` is then untouched.
bool ReadHdf5File(const std::filesystem::path& path, ChannelSet& records, std::string* why);

// What ReadHdf5File has the helper program read first (files/isolated_check.h):
// every part of the file but the samples, whose places are checked.
bool CheckHdf5File(const std::filesystem::path& path, std::string& why);

}  // namespace tavril
