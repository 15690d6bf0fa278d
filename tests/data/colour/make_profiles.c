/* Writes the two ICC profiles the colour fixtures carry, made with Little CMS itself:
 * display_p3.icc (Display P3: DCI-P3 primaries, D65 white, the sRGB tone curve) and
 * test_cmyk.icc (a CMYK printer profile whose inks mix as R = (1-C)(1-K) and so on, on a
 * slightly warm paper and with a 1.3 dot gain, so that it differs visibly from the plain
 * inversion used without a profile). Build: cc make_profiles.c -llcms2 */
#include <lcms2.h>
#include <math.h>
#include <stdio.h>

static cmsHTRANSFORM to_lab;

static int Sample(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
  (void)cargo;
  double rgb[3];
  const double k = pow(in[3] / 65535.0, 1 / 1.3);
  for (int i = 0; i < 3; ++i) rgb[i] = (1 - pow(in[i] / 65535.0, 1 / 1.3)) * (1 - k);
  const double paper[3] = {1.0, 0.98, 0.93};
  cmsUInt16Number srgb[3];
  for (int i = 0; i < 3; ++i) srgb[i] = (cmsUInt16Number)(rgb[i] * paper[i] * 65535.0 + 0.5);
  cmsDoTransform(to_lab, srgb, out, 1);
  return 1;
}

static void Log(cmsContext c, cmsUInt32Number code, const char* text) { (void)c; fprintf(stderr, "lcms %u: %s\n", code, text); }

int main(void) {
  cmsSetLogErrorHandler(Log);
  cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
  cmsCIExyYTRIPLE p3 = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  cmsFloat64Number srgb_curve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(NULL, 4, srgb_curve);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE p3_profile = cmsCreateRGBProfile(&d65, &p3, curves);
  cmsMLU* text = cmsMLUalloc(NULL, 1);
  cmsMLUsetASCII(text, "en", "US", "Display P3 (test)");
  cmsWriteTag(p3_profile, cmsSigProfileDescriptionTag, text);
  cmsSaveProfileToFile(p3_profile, "display_p3.icc");

  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHPROFILE lab = cmsCreateLab4Profile(NULL);
  to_lab = cmsCreateTransform(srgb, TYPE_RGB_16, lab, TYPE_Lab_16, INTENT_RELATIVE_COLORIMETRIC, 0);
  cmsHPROFILE cmyk = cmsCreateProfilePlaceholder(NULL);
  cmsSetProfileVersion(cmyk, 4.3);
  cmsSetDeviceClass(cmyk, cmsSigOutputClass);
  cmsSetColorSpace(cmyk, cmsSigCmykData);
  cmsSetPCS(cmyk, cmsSigLabData);
  cmsPipeline* a2b = cmsPipelineAlloc(NULL, 4, 3);
  cmsStage* clut = cmsStageAllocCLut16bit(NULL, 7, 4, 3, NULL);
  cmsStageSampleCLut16bit(clut, Sample, NULL, 0);
  // lutAtoBType wants curves on both sides of the table; identities here.
  cmsPipelineInsertStage(a2b, cmsAT_END, cmsStageAllocToneCurves(NULL, 4, NULL));
  cmsPipelineInsertStage(a2b, cmsAT_END, clut);
  cmsPipelineInsertStage(a2b, cmsAT_END, cmsStageAllocToneCurves(NULL, 3, NULL));
  cmsWriteTag(cmyk, cmsSigAToB0Tag, a2b);
  cmsWriteTag(cmyk, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  cmsMLU* cmyk_text = cmsMLUalloc(NULL, 1);
  cmsMLUsetASCII(cmyk_text, "en", "US", "CMYK (test)");
  cmsWriteTag(cmyk, cmsSigProfileDescriptionTag, cmyk_text);
  cmsSaveProfileToFile(cmyk, "test_cmyk.icc");
  return 0;
}
