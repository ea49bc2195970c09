// SPDX-License-Identifier: GPL-3.0-or-later
#include "errors.h"

#include <QHash>

namespace dao {

namespace {

// The one catalogue of numbers and their standard descriptions.
const QHash<int, QString>& catalogue() {
    static const QHash<int, QString> texts = {
        {err::InvalidProcedureCall, QStringLiteral("Invalid procedure call or argument")},
        {err::TypeMismatch, QStringLiteral("Type mismatch")},
        {err::OutOfMemory, QStringLiteral("Out of memory")},
        {err::Internal, QStringLiteral("Internal error")},
        {err::FileNotFoundRuntime, QStringLiteral("File not found")},
        {err::ObjectVariableNotSet, QStringLiteral("Object variable or With block variable not set")},
        {err::InvalidPropertyValue, QStringLiteral("Invalid property value")},
        {err::TableExists, QStringLiteral("Table already exists.")},
        {err::UpdateWithoutEdit, QStringLiteral("Update or CancelUpdate without AddNew or Edit.")},
        {err::NoCurrentRecord, QStringLiteral("No current record.")},
        {err::DuplicateKey,
         QStringLiteral("The changes were not made because they would create a duplicate value in a "
                        "field that must be unique.")},
        {err::FileNotFound, QStringLiteral("Could not find file.")},
        {err::DiskFull, QStringLiteral("Not enough space on disk. The change was not saved; free some space and try again.")},
        {err::NotUpdatable, QStringLiteral("Cannot update. Database or object is read-only.")},
        {err::DiskIoError, QStringLiteral("Disk or network error.")},
        {err::FileInUse,
         QStringLiteral("Could not use the database file; it is locked by another program. Try again "
                        "in a moment.")},
        {err::NoPermission,
         QStringLiteral("Cannot open or write the database file: you need permission to use it, or "
                        "it is read-only.")},
        {err::Cancelled, QStringLiteral("Operation canceled by user.")},
        {err::ResourceExceeded, QStringLiteral("System resource exceeded.")},
        {err::TooFewParameters, QStringLiteral("Too few parameters. Expected 1.")},
        {err::SelectNotExecutable, QStringLiteral("Cannot execute a select query.")},
        {err::SyntaxError, QStringLiteral("Syntax error in the statement.")},
        {err::CriteriaMismatch, QStringLiteral("Data type mismatch in criteria expression.")},
        {err::UndefinedFunction, QStringLiteral("Undefined function in expression.")},
        {err::InputTableNotFound,
         QStringLiteral("Cannot find the input table or query. Make sure it exists and that its name "
                        "is spelled correctly.")},
        {err::CharactersAfterEnd, QStringLiteral("Characters found after end of SQL statement.")},
        {err::EngineError, QStringLiteral("Database engine error.")},
        {err::RecordDeleted, QStringLiteral("Record is deleted.")},
        {err::WriteConflict, QStringLiteral("The data has been changed by another user.")},
        {err::CouldNotUpdateLocked,
         QStringLiteral("Could not update; currently locked by another program.")},
        {err::InvalidOperation, QStringLiteral("Invalid operation.")},
        {err::ConnectionBusy,
         QStringLiteral("The log is in use by a statement that is still running; try again once it has "
                        "ended.")},
        {err::ItemNotFound, QStringLiteral("Item not found in this collection.")},
        {err::RequiredField, QStringLiteral("A field cannot be empty: it requires a value.")},
        {err::NotDatabase, QStringLiteral("Unrecognized database format.")},
        {err::ObjectInvalid, QStringLiteral("Object invalid or no longer set.")},
        {err::DataTypeConversion, QStringLiteral("Data type conversion error.")},
        {err::Refused, QStringLiteral("The statement was refused.")},
    };
    return texts;
}

}  // namespace

QString description(int number) {
    return catalogue().value(number);
}

Error::Error(int number, QString description)
    : number_(number), description_(std::move(description)) {
    what_ = QStringLiteral("Error %1: %2").arg(number_).arg(description_).toStdString();
}

Error::Error(int number) : Error(number, dao::description(number)) {}

}  // namespace dao
