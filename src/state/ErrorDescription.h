#pragma once

#include <QString>

#include <exception>

// The text the state object stores as its error for whatever a refresh or action threw. This
// is the state object's one boundary where every failure is caught.
QString describeError(std::exception_ptr error);
