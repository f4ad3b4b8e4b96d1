// The reader's frames as bytes, without Qt: what a command frame holds and how
// an answer frame is read. Every part of the program that frames a command or
// reads an answer (the reader link, the connection check) goes through here.
//
//   command:  AA  address  length  command data...  XOR  BB
//   answer:   AA  address  length  status data...   XOR  BB
//
// The length counts the command (or status) byte and the data; the XOR covers
// everything between the start and end markers.
#pragma once

#include <cstdint>
#include <vector>

namespace rfid::protocol {

constexpr std::uint8_t kStart = 0xAA;
constexpr std::uint8_t kEnd = 0xBB;
constexpr std::uint8_t kStatusSuccess = 0x00;
constexpr std::uint8_t kStatusRefused = 0x01;
constexpr std::uint8_t kReadVersion = 0xC0;

// The XOR of `bytes`.
std::uint8_t checksum(const std::vector<std::uint8_t>& bytes);

// The frame that carries `field` (command byte first) to `address`. The caller
// keeps the field within 250 bytes.
std::vector<std::uint8_t> commandFrame(std::uint8_t address, const std::vector<std::uint8_t>& field);

// Answers are read in answer.h.

} // namespace rfid::protocol
