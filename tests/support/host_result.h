#pragma once
// Host results in checks: Ok(result, &message) is result.Ok(), and keeps the
// message for the checks after it.

#include <string>

#include "host/result.h"

inline bool Ok(const Result& result, std::string* message)
{
    *message = result.Message();
    return result.Ok();
}
