#pragma once
// The extension lists the result store filters with, taken from the carving category lists.

// Picture list: damaged files whose extension occurs in it are hidden.
const char* GetStorePhotoExtensionList();

// The picture, audio, document, video and archive lists joined, in that order, with "|".
// An extension found in it belongs to a known category and so is never an "other" file.
const char* GetStoreKnownExtensionText();
