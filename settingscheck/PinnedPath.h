#pragma once

#include "Options.h"
#include "ProbePath.h"

#include <QStringList>

#include <optional>

// The path the Interface and SourceAddress options pin every echo to.
ProbePath PinnedPathOf(const Options &options);

// Why this machine cannot take the key's part of that path now, and what the watch does
// meanwhile; nothing when it can, and for any other key.
std::optional<QString> UnpinnedRefusal(const Options &options, OptionKey key);

// A line for each part of that path this machine cannot take now, as the start-up report
// and --check both give it: "Interface=wwan0: why. What the watch does meanwhile." The
// value stays in force, so that no echo leaves by another way.
QStringList UnpinnedPathLines(const Options &options);
