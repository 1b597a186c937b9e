#include <gtest/gtest.h>

#include <libintl.h>

// The cross-built libintl links into a Windows program and answers: with no catalogue
// bound, gettext hands the key back.
TEST(Libintl, WithoutACatalogueTheKeyComesBack)
{
    textdomain("PrinterDriver");
    EXPECT_STREQ("PO_GSTR_OK", gettext("PO_GSTR_OK"));
}
