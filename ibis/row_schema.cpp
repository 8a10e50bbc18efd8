#include "row_schema.h"

namespace ibis {

namespace {

// clang-format off
const RowSchema kRowSchemas[] = {
    // [TTgnd] and [TTpower]: typ, min and max on the keyword's line.
    {Kw::TtGnd, Layout::KeywordValues, 3, 3, Cell::Number, true, false, "typ, min and max"},
    {Kw::TtPower, Layout::KeywordValues, 3, 3, Cell::Number, true, false, "typ, min and max"},
    // [External Reference] (4.1): the external reference voltage, typ, min and max.
    {Kw::ExternalReference, Layout::KeywordValues, 3, 3, Cell::Number, true, false, "typ, min and max"},
    // [Number Of Sections]: one count, on the keyword's line.
    {Kw::NumberOfSections, Layout::KeywordValues, 1, 1, Cell::Integer, false, false, "the number of sections"},
    // The pulse tables and [Test Data]'s waveforms: time, V(typ), V(min), V(max).
    {Kw::GndPulseTable, Layout::Rows, 4, 4, Cell::Number, true, true, "time, V(typ), V(min) and V(max)"},
    {Kw::PowerPulseTable, Layout::Rows, 4, 4, Cell::Number, true, true, "time, V(typ), V(min) and V(max)"},
    {Kw::RisingWaveformNear, Layout::Rows, 4, 4, Cell::Number, true, true, "time, V(typ), V(min) and V(max)"},
    {Kw::FallingWaveformNear, Layout::Rows, 4, 4, Cell::Number, true, true, "time, V(typ), V(min) and V(max)"},
    {Kw::RisingWaveformFar, Layout::Rows, 4, 4, Cell::Number, true, true, "time, V(typ), V(min) and V(max)"},
    {Kw::FallingWaveformFar, Layout::Rows, 4, 4, Cell::Number, true, true, "time, V(typ), V(min) and V(max)"},
    {Kw::DiffRisingWaveformNear, Layout::Rows, 4, 4, Cell::Number, true, true, "time, V(typ), V(min) and V(max)"},
    {Kw::DiffFallingWaveformNear, Layout::Rows, 4, 4, Cell::Number, true, true, "time, V(typ), V(min) and V(max)"},
    {Kw::DiffRisingWaveformFar, Layout::Rows, 4, 4, Cell::Number, true, true, "time, V(typ), V(min) and V(max)"},
    {Kw::DiffFallingWaveformFar, Layout::Rows, 4, 4, Cell::Number, true, true, "time, V(typ), V(min) and V(max)"},
    // [Submodel Spec]: a subparameter (of those the subparameter table lists)
    // and its typ, min and max.
    {Kw::SubmodelSpec, Layout::Subparameters, 3, 3, Cell::Number, true, false, "typ, min and max"},
    // [Initial Delay]: a table kind (V-T, I-T) and its delay, typ, min and max.
    {Kw::InitialDelay, Layout::Subparameters, 3, 3, Cell::Number, true, false, "typ, min and max"},
    // [Alternate Package Models]: one package model name a line.
    // [Repeater Pin]: a receiver pin and the driver pin it repeats to.
    {Kw::RepeaterPin, Layout::Rows, 2, 0, Cell::Text, false, false, "a pin and its tx_non_inv_pin"},
};
// clang-format on

}  // namespace

const RowSchema* FindRowSchema(Kw id) {
    for (const RowSchema& r : kRowSchemas)
        if (r.id == id) return &r;
    return nullptr;
}

const RowSchema* RowSchemasBegin() { return kRowSchemas; }
const RowSchema* RowSchemasEnd() { return kRowSchemas + sizeof kRowSchemas / sizeof *kRowSchemas; }

}  // namespace ibis
