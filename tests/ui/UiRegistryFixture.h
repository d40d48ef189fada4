#pragma once

#include "engine/Questions.h"
#include "tests/toolkit/RegistryFixture.h"

// A window test: a registry store file of its own and the questions answered by the test.
class TUiTest : public TToolkitRegistryTest {
protected:
    TScriptedQuestions FQuestions;
    TScopedQuestions FAnswering {FQuestions};
};
