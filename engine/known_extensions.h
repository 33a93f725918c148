#pragma once
// The extension lists the result store filters with. They are the carving type table's
// category lists, copied here only until carving/ provides them to the store; the two copies
// must stay identical, so merge them into one as soon as both exist.

// Picture list: damaged files whose extension occurs in it are hidden.
const char* GetStorePhotoExtensionList();

// The picture, audio, document, video and archive lists joined, in that order, with "|".
// An extension found in it belongs to a known category and so is never an "other" file.
const char* GetStoreKnownExtensionText();
