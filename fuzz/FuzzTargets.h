#pragma once

#include <cstddef>
#include <cstdint>

// Each takes one input, runs it through the code under test and checks its properties with
// VELK_FUZZ_CHECK; the result is always 0. Called by the libFuzzer entries and by the replay
// tests over the committed corpora.
int velk_fuzz_config(const uint8_t* data, size_t size);
int velk_fuzz_number_text(const uint8_t* data, size_t size);
int velk_fuzz_hex_text(const uint8_t* data, size_t size);
int velk_fuzz_usb_card(const uint8_t* data, size_t size);
int velk_fuzz_setup_text(const uint8_t* data, size_t size);
int velk_fuzz_cli_args(const uint8_t* data, size_t size);
int velk_fuzz_noise_reader(const uint8_t* data, size_t size);
int velk_fuzz_noise_json(const uint8_t* data, size_t size);
