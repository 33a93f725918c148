#pragma once
// Results of the device layer's reads. They are the numbers every engine reports too, so the
// engines hand them on unchanged (engine/result_codes.h names them again for the layers above).

constexpr int DEVICE_READ_OK = 0;
constexpr int DEVICE_INVALID_REQUEST = 87;  // bad arguments, or a range beyond the reader's area
constexpr int DEVICE_READ_FAULT = 30;       // a read returned nothing or met the end of the device
