// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Errors raised by the data-access layer and the other platform pieces.
// Every number the program uses is listed here, once, with its description.

#include <QString>

#include <exception>
#include <string>

namespace dao {

namespace err {
// Run-time errors of the platform itself.
inline constexpr int TypeMismatch = 13;            // "Type mismatch"
inline constexpr int ObjectVariableNotSet = 91;    // "Object variable or With block variable not set"
inline constexpr int InvalidPropertyValue = 380;   // "Invalid property value"
inline constexpr int InvalidProcedureCall = 5;     // "Invalid procedure call or argument"
inline constexpr int FileNotFoundRuntime = 53;     // "File not found"
inline constexpr int Internal = 51;                // "Internal error"
inline constexpr int OutOfMemory = 7;              // "Out of memory"

// Database engine errors.
inline constexpr int Cancelled = 3059;             // operation cancelled by the user
inline constexpr int NoCurrentRecord = 3021;
inline constexpr int UpdateWithoutEdit = 3020;
inline constexpr int DuplicateKey = 3022;          // a unique field would hold a value twice
inline constexpr int FileNotFound = 3024;          // with the path
inline constexpr int DiskFull = 3026;
inline constexpr int NotUpdatable = 3027;          // set or database not updatable / read-only
inline constexpr int DiskIoError = 3043;           // the file could not be read or written
inline constexpr int FileInUse = 3045;             // locked by another program past the busy timeout
inline constexpr int NoPermission = 3051;          // the file or folder cannot be opened (permissions)
inline constexpr int TooFewParameters = 3061;      // unknown field name in a statement
inline constexpr int SelectNotExecutable = 3065;   // Execute of a row-returning statement
inline constexpr int SyntaxError = 3075;           // statement cannot be parsed
inline constexpr int CriteriaMismatch = 3464;      // a value compared with a field of another kind
inline constexpr int UndefinedFunction = 3085;     // statement calls a function the engine lacks
inline constexpr int InputTableNotFound = 3078;    // statement names a missing table
inline constexpr int TableExists = 3010;
inline constexpr int CharactersAfterEnd = 3142;    // a second statement after the first
inline constexpr int RecordDeleted = 3167;         // the row was deleted meanwhile
inline constexpr int WriteConflict = 3197;         // the row was changed by another user since it was read
inline constexpr int CouldNotUpdateLocked = 3218;  // write refused: locked
inline constexpr int ConnectionBusy = 3211;        // the connection's statement is still running
inline constexpr int ItemNotFound = 3265;          // no field of that name or position
inline constexpr int RequiredField = 3314;         // NOT NULL field left empty
inline constexpr int NotDatabase = 3343;           // not a database, or damaged; with the path
inline constexpr int ObjectInvalid = 3420;         // closed record set or database
inline constexpr int DataTypeConversion = 3421;    // a value of the wrong type for its field
inline constexpr int InvalidOperation = 3219;      // operation not allowed in this context
inline constexpr int ResourceExceeded = 3035;     // a result too large to hold
inline constexpr int Refused = 3709;               // statement refused by the program's guard
inline constexpr int EngineError = 3146;           // any other engine failure
}  // namespace err

// The standard description for a number ("" when it has none of its own).
QString description(int number);

// An error with a number and a description, like the platform's error object.
class Error : public std::exception {
public:
    Error(int number, QString description);
    explicit Error(int number);  // with the catalogue's description

    int Number() const noexcept { return number_; }
    const QString& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    int number_;
    QString description_;
    std::string what_;
};

}  // namespace dao
