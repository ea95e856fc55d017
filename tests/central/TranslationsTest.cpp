// SPDX-License-Identifier: Apache-2.0
#include "Translations.h"

#include <gtest/gtest.h>

namespace {

struct LanguageCase {
  const char* name;
  QStringList uiLanguages;
  const char* expected;
};

class TranslationsTest : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(TranslationsTest, FirstLanguageOfTheListThatHasATranslation) {
  const LanguageCase& c = GetParam();
  const QStringList offered = {"kelvocentral_de_DE", "kelvocentral_fr_FR", "kelvocentral_fr_CA"};
  EXPECT_EQ(Translations::choose(c.uiLanguages, offered), QString(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Languages, TranslationsTest,
                         ::testing::Values(LanguageCase{"germany", {"de-DE"}, "kelvocentral_de_DE"},
                                           LanguageCase{"austria", {"de-AT", "de"}, "kelvocentral_de_DE"},
                                           LanguageCase{"switzerland", {"de-CH"}, "kelvocentral_de_DE"},
                                           LanguageCase{"languageOnly", {"de"}, "kelvocentral_de_DE"},
                                           LanguageCase{"countryMatchWins", {"fr-CA"}, "kelvocentral_fr_CA"},
                                           LanguageCase{"secondChoice", {"es-ES", "de-DE"}, "kelvocentral_de_DE"},
                                           LanguageCase{"englishFirstMeansEnglish", {"en-US", "de-DE"}, ""},
                                           LanguageCase{"cLocale", {"C"}, ""},
                                           LanguageCase{"nothingOffered", {"es-ES", "it-IT"}, ""},
                                           LanguageCase{"empty", {}, ""}),
                         [](const ::testing::TestParamInfo<LanguageCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(TranslationsAvailable, TheProgramShipsItsGermanTranslation) {
  EXPECT_TRUE(Translations::available().contains("kelvocentral_de_DE"))
      << Translations::available().join(',').toStdString();
}

}  // namespace
