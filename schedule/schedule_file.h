#pragma once

// Schedule files ("*.pwr"): the timer settings of every bank, power-on and
// power-off, so that a schedule can be kept and loaded again, on the same
// unit or another one.
//
// The file is plain ASCII with no header, no line breaks and no end mark:
// records of nine decimal numbers, each number followed by one blank
// ("%d %d %d %d %d %d %d %d %d "):
//
//   direction  0 power-on (EditOn), 1 power-off (EditOff); reading takes
//              anything but 0 as power-off
//   bank       bank index 0 .. bankCount - 1
//   port       port index 0..7
//   enabled    0 or 1
//   invalid    0 or 1
//   kind       0 After, 1 At, 2 Every day, 3 Every week
//   weekday    0 none, 1 Sunday .. 7 Saturday
//   hour, minute  as in the entry
//
// A file holds all power-on records (bank by bank, port by port), then all
// power-off records in the same order: 16 per bank. When an entry was sent,
// whether it still has to be sent and what it addresses are not kept.
//
// Formatting and reading are pure (bytes in, bytes out); the table versions
// take the tables' one lock for the whole of their work; the disk versions
// add the file access.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>
#include <string_view>

#include "platform/dialogs.h"
#include "platform/file_io.h"
#include "schedule/timer_tables.h"

namespace velmora {

// Largest file Load reads. A schedule of 16 banks is 256 records of at most
// nine 11-character numbers, under 28 KiB even with absurd values and about
// 5 KiB in practice; anything beyond 1 MiB is not a schedule.
inline constexpr std::uintmax_t kMaxScheduleFileBytes = 1u << 20;

// What the Save and Load choosers offer (Save: "SaveRTC", Load: "odLoadRTC").
FileChoice scheduleSaveChoice();  // "power file(*.pwr)|*.pwr|all file(*.*)|*.*", "default0", ".pwr"
FileChoice scheduleOpenChoice();  // "power file(.pwr)|*.pwr|all file(*.*)|*.*", "default0", ".pwr"

// The file's bytes for the first bankCount banks (at most 16; none for 0 or
// less) of tables.editOn and tables.editOff.
std::string formatSchedule(const TimerTables::Tables& tables, int bankCount);

// A record left out, for the user: its line (from 1) and why.
struct SkippedRecord {
    int line = 0;
    std::string why;
    friend bool operator==(const SkippedRecord&, const SkippedRecord&) = default;
};
inline constexpr std::size_t kMaxSkippedRecordsTold = 16;

struct ScheduleRead {
    int applied = 0;  // records stored into the edit tables
    int skipped = 0;  // records left out: bank not below bankCount (or beyond
                      // the 16 of the tables), port outside 0..7, or a value
                      // no timer can hold (see applySchedule)
    // False when reading stopped before the end of the text at something
    // that did not give nine numbers (junk, a truncated last record, a
    // number beyond 32 bits). Records before it stay applied.
    bool complete = true;

    friend bool operator==(const ScheduleRead&, const ScheduleRead&) = default;
};

// What a user is told of a read, where one wants it.
struct ScheduleReadNotes {
    int stoppedAtLine = 0;  // where reading stopped when not complete
    // The first kMaxSkippedRecordsTold skipped records (ScheduleRead::skipped counts all).
    std::vector<SkippedRecord> skipped;
};

// Reads records from `text` into tables.editOn / tables.editOff until the
// end of the text or the first record that does not yield nine numbers.
// Numbers are optionally signed decimals; blanks and line breaks between
// them are skipped. For each record that lies inside the first bankCount
// banks (at most 16):
//   enabled = field 4 != 0, and pending = 1 as well when it is (the timer
//   is sent by the next OK or Apply); invalid = field 5 != 0; kind,
//   weekday, hour and minute as read. Every other field (scope, the stamp,
//   pending of a disabled record) stays as it was.
// Records whose values no entry can hold are skipped like records of banks
// the unit does not have: kind outside 0..3, weekday outside 0..7, minute
// outside 0..59, hour outside 0..23 for a time of day or 0..9999 for a
// delay. Such a timer could not be sent (the unit would never confirm it,
// and the commands behind it would wait for ever).
// Nothing is cleared first: entries the text does not name keep their values.
ScheduleRead applySchedule(std::string_view text, TimerTables::Tables& tables, int bankCount,
                           ScheduleReadNotes* notes = nullptr);

// What a user is told of a read: one line per skipped record told ("line
// 7: bank 5 does not exist: the unit has 3 banks"), "... and N more", and
// where reading stopped. Empty when every record was taken.
std::vector<std::string> scheduleReadWarnings(const ScheduleRead& read, const ScheduleReadNotes& notes);
// Why nothing of the text can be used (no record read, or none that fits
// this unit), or empty when something can.
std::string scheduleUnusableText(const ScheduleRead& read);

// The same on the shared tables, each as one step under their lock.
std::string formatSchedule(const TimerTables& tables, int bankCount);
ScheduleRead applySchedule(std::string_view text, TimerTables& tables, int bankCount,
                           ScheduleReadNotes* notes = nullptr);

// Save: the file at `path` is replaced as a whole (a temporary file beside
// it, renamed over it only when completely written), so a failed save
// leaves the earlier schedule as it was. status ok, or failed with `error`
// in words.
FileSave saveScheduleFile(const std::filesystem::path& path, const TimerTables& tables, int bankCount);

struct ScheduleLoad {
    // ok: read (read says how far); missing / failed: the file could not be
    // opened or read, the tables are unchanged; tooLarge: more than
    // kMaxScheduleFileBytes, not read, the tables are unchanged.
    FileIoStatus status = FileIoStatus::failed;
    ScheduleRead read;
    ScheduleReadNotes notes;
    std::string error;  // reason in words for failed
};
ScheduleLoad loadScheduleFile(const std::filesystem::path& path, TimerTables& tables, int bankCount);

}  // namespace velmora
