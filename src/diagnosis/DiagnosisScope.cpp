#include "diagnosis/DiagnosisScope.h"

namespace {

DiagnosisScope& scope()
{
    static DiagnosisScope instance;
    return instance;
}

} // namespace

const DiagnosisScope& DiagnosisScope::current()
{
    return scope();
}

void DiagnosisScope::set(const DiagnosisScope& value)
{
    scope() = value;
}
