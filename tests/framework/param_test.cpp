#include <gtest/gtest.h>

#include <climits>

#include <cmath>
#include <limits>
#include <string>

#include "framework/IParam.h"

namespace {

std::string Display(const IParam& p) {
  char text[64];
  p.GetDisplayForHost(text, sizeof text);
  return text;
}

std::string Display(const IParam& p, double value, bool normalized, bool withText = true) {
  char text[64];
  p.GetDisplayForHost(value, normalized, text, sizeof text, withText);
  return text;
}

const double kGainMin = -(60.0 + 20.0 / std::log(10.0));

}  // namespace

TEST(ParamMapping, ShapedFrequencyRangeMapsThroughTheCube) {
  IParam freq;
  freq.InitDouble("Band B freq", 370, 20, 20000, 0.01, "Hz", "", 3);
  freq.SetNormalized(0.5);
  EXPECT_DOUBLE_EQ(freq.Value(), 20 + 19980 * 0.125);  // 2517.5
  EXPECT_DOUBLE_EQ(freq.GetNormalized(), 0.5);
  EXPECT_DOUBLE_EQ(freq.GetNormalized(20 + 19980 * 0.001), 0.1);
  EXPECT_EQ(Display(freq, 0.5, true), "2517.50");
}

TEST(ParamMapping, EndsOfTheRangeAreExact) {
  IParam gain;
  gain.InitDouble("Band A gain", 0.000001, kGainMin, 60, 0.01, "dB");
  gain.SetNormalized(1.0);
  EXPECT_EQ(gain.Value(), 60.0);
  gain.SetNormalized(0.0);
  EXPECT_EQ(gain.Value(), kGainMin);
}

TEST(ParamMapping, NormalisedValuesOutsideZeroToOneStayInRange) {
  IParam zoom;
  zoom.InitDouble("Hor. Zoom", 1, 1, 10, 0.001, "x", "", 2.5);
  zoom.SetNormalized(-0.5);
  EXPECT_EQ(zoom.Value(), 1.0);
  zoom.SetNormalized(1.5);
  EXPECT_EQ(zoom.Value(), 10.0);
  EXPECT_EQ(zoom.GetNormalized(-3.0), 0.0);
  EXPECT_EQ(zoom.GetNormalized(11.0), 1.0);
}

TEST(ParamMapping, EveryKindButDoubleRoundsToTheStep) {
  IParam colour;
  colour.InitInt("Colour", 2, 0, 2);
  colour.SetNormalized(0.6);  // 1.2
  EXPECT_EQ(colour.Value(), 1.0);
  colour.SetNormalized(0.8);  // 1.6
  EXPECT_EQ(colour.Value(), 2.0);
  colour.SetNormalized(0.2);  // 0.4
  EXPECT_EQ(colour.Value(), 0.0);

  IParam on;
  on.InitBool("Band A on", false);
  EXPECT_EQ(on.Value(), 0.0);
  on.SetNormalized(0.49);
  EXPECT_FALSE(on.Bool());
  on.SetNormalized(0.5);
  EXPECT_TRUE(on.Bool());

  IParam slope;
  slope.InitDouble("Band A slope", 0, -100, 100, 0.01, "dB/oct");
  slope.SetNormalized(0.123456);  // -75.3088, not rounded to a hundredth
  EXPECT_DOUBLE_EQ(slope.Value(), -100 + 200 * 0.123456);

  // The kind is the first Init's: an integer given a step of 2.5 later rounds to it (3 to
  // 2.5), and to nothing with a step of 0.
  for (const double step : {2.5, 0.0}) {
    IParam n;
    n.InitInt("n", 0, 0, 10);
    n.InitDouble("n", 0, 0, 10, step);
    n.SetNormalized(0.3);
    EXPECT_DOUBLE_EQ(n.Value(), step > 0 ? 2.5 : 3.0) << step;
  }
}

TEST(ParamMapping, DirectSetClampsToTheBounds) {
  IParam freq;
  freq.InitDouble("Band A freq", 80, 20, 20000, 0.01, "Hz", "", 3);
  freq.Set(5);
  EXPECT_EQ(freq.Value(), 20.0);
  freq.Set(1e6);
  EXPECT_EQ(freq.Value(), 20000.0);
  freq.Set(440.125);
  EXPECT_EQ(freq.Value(), 440.125);
}

TEST(ParamMapping, ValuesThatAreNotNumbersNeverGetIn) {
  const double bad[] = {std::nan(""), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()};
  IParam gain;
  gain.InitDouble("Overall Gain", 0, -60, 60, 0.01, "dB");
  gain.Set(-12.5);
  for (double v : bad) {
    gain.Set(v);
    EXPECT_EQ(gain.Value(), -12.5);
    gain.SetNormalized(v);
    EXPECT_EQ(gain.Value(), -12.5);
  }
}

TEST(ParamInit, RangesAndPrecisionFollowTheStep) {
  IParam p;
  // The binary error of a decimal step, above or below its scaled value (0.0001, 0.0003,
  // 0.57), does not run the precision to 6.
  const struct {
    double step;
    int precision;
  } steps[] = {{0.000001, 6}, {0.1, 1}, {0.01, 2}, {0.001, 3}, {0.0001, 4},
               {0.0003, 4},   {0.57, 2}, {1, 0},    {2.5, 1}, {1e-7, 6}, {std::nan(""), 0},
               {1.0000000015, 6}};  // no short decimal: the most decimals shown
  for (const auto& s : steps) {
    p.InitDouble("x", 0, 0, 10, s.step);
    EXPECT_EQ(p.GetPrecision(), s.precision) << s.step;
  }

  double lo = 0, hi = 0;
  p.InitDouble("empty range", 0, 3, 3, 0.5);  // maximum becomes minimum + step
  p.GetBounds(lo, hi);
  EXPECT_EQ(lo, 3.0);
  EXPECT_EQ(hi, 3.5);
  IParam i;
  i.InitInt("n", 5, 5, 3);
  i.GetBounds(lo, hi);
  EXPECT_EQ(hi, 6.0);
  IParam e;
  e.InitEnum("one", 0, 1);
  EXPECT_EQ(e.GetMax(), 1.0);
  e.InitEnum("three", 0, 3);
  EXPECT_EQ(e.GetMax(), 2.0);
}

TEST(ParamInit, ShapeIgnoresZeroAndNonsense) {
  IParam p;
  p.InitDouble("f", 80, 20, 20000, 0.01, "Hz", "", 0);  // 0 keeps linear
  EXPECT_EQ(p.GetShape(), 1.0);
  p.SetShape(3);
  p.SetShape(0);
  p.SetShape(-2);
  p.SetShape(std::nan(""));
  EXPECT_EQ(p.GetShape(), 3.0);
}

TEST(ParamDisplay, BooleanShowsOffOnAndNoLabel) {
  IParam on;
  on.InitBool("Band A on", true, "unit");
  EXPECT_EQ(Display(on), "on");
  EXPECT_STREQ(on.GetLabelForHost(), "");
  on.Set(0);
  EXPECT_EQ(Display(on), "off");
  EXPECT_STREQ(on.GetLabelForHost(), "");
  EXPECT_EQ(Display(on, 1, false, false), "1");
}

TEST(ParamDisplay, NumbersUseThePrecisionOrTruncateToAnInteger) {
  IParam gain;
  gain.InitDouble("Band A gain", 0.000001, kGainMin, 60, 0.01, "dB");
  EXPECT_EQ(Display(gain), "0.00");
  EXPECT_STREQ(gain.GetLabelForHost(), "dB");
  EXPECT_EQ(Display(gain, -6.456, false), "-6.46");

  IParam size;
  size.InitInt("Interface Size", 1, 0, 2);
  EXPECT_EQ(Display(size, 1.9, false), "1");
  EXPECT_EQ(Display(size, -1.9, false), "-1");
  EXPECT_EQ(Display(size, -0.9, false), "0");  // never "-0"
  EXPECT_EQ(Display(size, 1e12 + 0.7, false), "1000000000000");  // truncated past the int range too

  IParam pos;
  pos.InitDouble("Hor. Position", 0.5, 0, 1, 0.000001);
  EXPECT_EQ(Display(pos), "0.500000");

  IParam tenths;  // one decimal: never the integer form
  tenths.InitDouble("tenths", 2.5, 0, 10, 0.1);
  EXPECT_EQ(Display(tenths), "2.5");

  // As an int: truncated toward zero while it fits, 0 beyond.
  IParam wide;
  wide.InitDouble("wide", 0, -3e9, 3e9, 1);
  const struct {
    double value;
    int i;
  } ints[] = {{2147483647.9, INT_MAX}, {2147483648.0, 0}, {-2147483648.9, INT_MIN},
              {-2147483649.0, 0},      {-7.9, -7}};
  for (const auto& r : ints) {
    wide.Set(r.value);
    EXPECT_EQ(wide.Int(), r.i) << r.value;
  }
}

TEST(ParamDisplay, NegatedDisplayInvertsTheSign) {
  IParam p;
  p.InitDouble("Limiter", 0, -30, 60, 0.01, "dB");
  p.SetNegateDisplay(true);
  p.Set(3.5);
  EXPECT_EQ(Display(p), "-3.50");
  p.Set(20);
  EXPECT_NEAR(p.DBToAmp(), 10.0, 1e-9);
}

TEST(ParamDisplay, DisplayTextsReplaceNumbersAndLabels) {
  IParam p;
  p.InitEnum("Colour", 0, 3, "mode");
  EXPECT_TRUE(p.SetDisplayText(0, "RGB"));
  EXPECT_TRUE(p.SetDisplayText(1, ""));
  EXPECT_TRUE(p.SetDisplayText(2, "1234567890123456789012345678901"));  // 31: fits
  EXPECT_FALSE(p.SetDisplayText(3, "12345678901234567890123456789012"));  // 32: refused
  EXPECT_FALSE(p.SetDisplayText(3, nullptr));
  EXPECT_EQ(p.GetNDisplayTexts(), 3);

  EXPECT_EQ(Display(p), "RGB");
  EXPECT_STREQ(p.GetLabelForHost(), "");
  p.Set(1);  // an empty text counts as none
  EXPECT_EQ(Display(p), "1");
  EXPECT_STREQ(p.GetLabelForHost(), "mode");
  EXPECT_EQ(Display(p, 2.7, false), "1234567890123456789012345678901");
  EXPECT_EQ(Display(p, 1.0, true), "1234567890123456789012345678901");

  int value = -1;
  EXPECT_STREQ(p.GetDisplayTextAtIdx(0, &value), "RGB");
  EXPECT_EQ(value, 0);
  for (const int idx : {3, 7, -1}) {  // one past the last, far past, before the first
    EXPECT_STREQ(p.GetDisplayTextAtIdx(idx, &value), "") << idx;
    EXPECT_EQ(value, 0);
  }
  EXPECT_STREQ(p.GetDisplayText(9), "");
  EXPECT_STREQ(IParam().GetDisplayTextAtIdx(0, &value), "");  // a parameter with no texts
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(p.MapDisplayText("RGB", &value));
  EXPECT_EQ(value, 0);
  EXPECT_FALSE(p.MapDisplayText("rgb", &value));
  EXPECT_FALSE(p.MapDisplayText(nullptr, &value));
}

