// The storage subsystem's public face: the archive-aware open (ArchiveReader),
// the expanded-file reader and whole-file read (ExpFile, read_expanded_file), the
// compressed-file writer and the LZW codec. Other subsystems include this.
#pragma once

#include "storage/archive_reader.h"
#include "storage/exp_file.h"
#include "storage/lzw.h"
