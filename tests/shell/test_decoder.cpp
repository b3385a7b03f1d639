#include "test_decoder.h"

sandbox::DecoderClient::Options TestDecoder(bool misbehaving) {
    sandbox::DecoderClient::Options options;
    // The test worker obeys commands hidden in a photo (a slow decode...).
    options.program = QString::fromUtf8(misbehaving ? EXIFVIEWER_TEST_WORKER : EXIFVIEWER_WORKER);
    options.startLimitMs = 60000;
    return options;
}
