// The decoder worker built with the tests, for a window made in a test: a
// test binary is not where the viewer finds its installed worker.
#pragma once

#include "sandbox/decoder_client.h"

sandbox::DecoderClient::Options TestDecoder(bool misbehaving = false);
