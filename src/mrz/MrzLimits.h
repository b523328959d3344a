// The zone reader's tuned numbers, in one place. Each has its unit and the
// run that chose it; docs/mrz-tuning.md lists the runs (generated pages of
// `mrz-pages make`, development seeds 7, 11 and 13, scored by
// scripts/mrz-accuracy). Real images validate a choice; they never make one.
#pragma once

namespace gw::mrz {

struct MrzLimits {
    // --- Decoding (probabilities of the 37 characters at a cell, summing to 1)

    /// The one threshold of a valid zone: the probability of every character
    /// as decided (under its check digit or state-code list where one covers
    /// it; a name's only from its cell): the classifier's calibrated
    /// threshold. Chosen on held-out generated cells
    /// (tools/mrz-train/calibrate.py on `mrz-pages cells ... 202 all`;
    /// recorded in tools/mrz-train/calibration.json and docs/mrz-model.md):
    /// the lowest of a grid of round probabilities at which the wrong share
    /// of the cells reaching it is at most one in 10,000 with 95% confidence,
    /// and checked on fresh seeds (run T2 of docs/mrz-tuning.md; for the
    /// network of run T7, 0.98: 2 wrong of 69,939 held-out cells; for the
    /// network of run T8, 0.998: 2 wrong of 69,582, and on fresh seeds 234
    /// and 236 as read 4 wrong of 139,817; for the network of run T9, 0.99:
    /// 2 wrong of 69,751, on seeds 234 and 236 as read 3 wrong of 139,935;
    /// for that of run T11, 0.99: 2 wrong of 69,807, on seeds 234 and 236
    /// 4 wrong of 139,964; for that of run T12, 0.99: 1 wrong of 69,818, on
    /// seeds 234 and 236 2 wrong of 139,977). A check digit settles at most
    /// one character below it (run V1).
    static constexpr float kMinProbability = 0.99f;
    /// The least probability of a character no check digit covers (names,
    /// the sex, state codes, a visa's optional data) in a valid zone. A
    /// wrong character under a check is caught nine times in ten; one no
    /// check covers reaches the host as read, and a zone holds some forty
    /// of them. So these are held to the lowest point of kMinProbability's
    /// grid above which no held-out cell is wrong at all (written by
    /// tools/mrz-train/calibrate.py to calibration.json as
    /// "unchecked_threshold"). Probability; run U3 of docs/mrz-tuning.md
    /// (network of run T12: 0 wrong of 69,494 held-out cells at 0.999,
    /// bound 4.3e-5; development seed 31, an MRV-B's optional T read 1 at
    /// 0.990004, valid before).
    static constexpr float kUncheckedMinProbability = 0.999f;
    /// A character whose blind twin (0 and U, 8 and S, 6 and G: values 10,
    /// 20 or 30 apart, so no check digit tells them apart) has at least
    /// this probability, where its place admits the twin, leaves the zone
    /// not valid: the calibrated threshold bounds one character's error,
    /// but a zone of 90 characters has several chances, and a blind twin's
    /// error is the one the checks cannot catch. Probability; run N1 of
    /// docs/mrz-tuning.md (development seed 7: a 0 read U at 0.996 with 0
    /// at 0.0022 on a patterned page).
    static constexpr float kBlindTwinFloor = 1e-3f;
    /// The lowest probability, as decided, of a character its cell read
    /// below kMinProbability (decided by a check digit, its place's class or
    /// the state codes) in a zone reported valid: one wrong character in
    /// 10,000, asked of the decoding's sums directly, since no held-out cell
    /// calibrated them and the errors of one print's look-alikes go
    /// together. Probability; run V3 of docs/mrz-tuning.md (dark-blue ink,
    /// seed 19: a run of two O read 0, at 0.65 and 0.98, cancelled in both
    /// checks over it and was decided at 0.991, valid and wrong).
    static constexpr float kSettledMinProbability = 0.9999f;
    /// A candidate below this probability is not worth a path of the joint
    /// decoding (it could not reach kMinProbability under any check).
    static constexpr float kCandidateFloor = 1e-4f;
    /// Candidates of one place in the joint decoding, at most (the most
    /// probable): beyond the first few their share is below the floor on
    /// every development page, and each costs a pass over the check's
    /// sums.
    static constexpr int kCandidatesPerPlace = 6;
    /// A check digit confirms a change of the best reading only when the
    /// changed reading is at least this fraction as probable as the
    /// unchanged one; below it the print itself is more likely wrong (a
    /// wrongly printed check digit is reported, never corrected). Ratio; run
    /// D2 (0.1 and 0.005 read alike on the development seeds; the larger
    /// makes fewer chance corrections of misread zones).
    static constexpr double kCorrectionRatio = 0.1;
    /// A zone whose pitch over capital height, as cut in its upright image,
    /// is below this fraction of OCR-B's (kPitchPerHeight) is taken to be
    /// printed in a narrower face, where the network reads some letters as
    /// others with confidence (F as P in a name, at 0.967): it is reported
    /// valid only with every character at kNarrowMinProbability. Ratio; run
    /// S2 of docs/mrz-tuning.md (generated pages, seeds 7, 11, 17 and 19:
    /// OCR-B zones measure 0.89 and up in every condition but perspective
    /// (0.85) and photos (0.78); the narrower monospace faces 0.75 to 0.90,
    /// medians 0.80 to 0.84).
    static constexpr float kMinShape = 0.92f;
    /// The lowest probability of every character of a zone of another
    /// face's shape (kMinShape) reported valid: where the network's wrong
    /// cells in other faces reach any probability (an S read 5 at 0.999999),
    /// the lowest at which their wrong share is bounded by one in 10,000
    /// with 95% confidence. Probability; run S8 of docs/mrz-tuning.md
    /// (held-out cells of the zones cut in a narrower shape on 6,000 pages in
    /// the six monospace faces, seeds 204, 228 and 230, taken as read at
    /// their places, by tools/mrz-train/rate-threshold.py --as-read). For
    /// the network of run T8, which learns the monospace faces from pages of
    /// their own, 0.98 (run S10: 27 wrong of 394,157, bound 9.5e-5), and
    /// for that of run T9 (run S11: 19 wrong of 394,113, 7.1e-5) and of run
    /// T11 (run S12: 20 wrong of 394,192, 7.4e-5); for that of run T12 the
    /// rule gives 0.9 (run S13: 13 wrong of 393,796 at 0.99), under
    /// kMinProbability, which then holds these zones alone. For the network
    /// of run T7 it was 0.9995 (run S9: 26 wrong of 390,449), S8 gave 0.998
    /// for the network before, S7 0.999 for the one before that; runs S6, S3
    /// and S2 before them.
    static constexpr float kNarrowMinProbability = 0.98f;
    /// The lowest probability of every character of a zone reported valid
    /// that the finder saw through texture (a zone the first look could not
    /// tell from the guilloche or hatching round it): where lines of texture
    /// cross the cells, the network misreads more, and surely (a P read R at
    /// 0.99999 over mid-dark guilloche, before the cells left out the lines
    /// lighter than print, kTexturePaper). Probability; run G5 of
    /// docs/mrz-tuning.md (held-out cells of the zones read through texture
    /// on 1,000 pages each of mid-dark and light guilloche and of hatching,
    /// seed 208, taken as read at their places, by
    /// tools/mrz-train/rate-threshold.py --as-read: 3 wrong of 90,087 at
    /// 0.998, bound 8.6e-5; at 0.995 5 wrong, 1.2e-4; with seed 232's as
    /// many, run G7, the rule allows 0.98, under the one threshold; held to
    /// kMinProbability alone, a zone over mid-dark guilloche read valid with
    /// a name's O as D, at 0.997). The cells of the
    /// zones the first look found on the same pages hold 0.99 (none wrong of
    /// 161,917). For the network of 2026-12-08, run G8 on seeds 208 and 232
    /// pooled gives 0.998 again (9 wrong of 165,538, bound 9.5e-5), and for
    /// the network of run T7 (run G9: 6 wrong of 164,966, 7.2e-5); for the
    /// network of run T8 0.9998 (run G10: 9 wrong of 164,201, 9.6e-5; at
    /// 0.998 17 wrong, 1.6e-4), for that of run T9 (run G11: 9 wrong of
    /// 164,038, 9.6e-5) and for that of run T11 (run G12: 7 wrong of
    /// 164,454, 8.0e-5; at 0.999 12 wrong, 1.2e-4); for that of run T12
    /// the rule gives 0.99 (run G13: 8 wrong of 165,486), kept at 0.9998
    /// as G7 found (and fresh mid-grey guilloche, seed 251, holds 7 wrong
    /// at 0.9998 in zones read through texture). Runs G4
    /// (0.9999, the cells before kTexturePaper) and G3 (0.9995, both looks'
    /// cells pooled) before it.
    static constexpr float kTextureMinProbability = 0.9998f;
    /// A zone found without looking through texture, in print not small,
    /// is held to kTextureMinProbability too where at least kTexturedGap of
    /// the paper between its lines is darker than the lightest pixel within
    /// 3 of it by kGapDarker of its lines' range (GapTexture): strokes of
    /// guilloche or hatching behind it, not a shadow's slow edge. kTexturedGap
    /// is the 95th percentile of that share over the 449 zones of
    /// development seed 31 on no background texture (guilloche-mid seed 47:
    /// median 0.18, 85% of its zones at or above it). Share of pixels; share
    /// of the range, set by its reason (a stroke of mid-grey guilloche); run
    /// G14 of docs/mrz-tuning.md.
    static constexpr float kTexturedGap = 0.068f;
    static constexpr float kGapDarker = 0.2f;
    /// Capitals shorter than this in the image (pixels) are small print,
    /// whose cells the network reads less surely than it reads them right
    /// (kSmallSharpen): the generated pages' `small` condition draws them
    /// 6 to 9 pixels high, every other condition 10 and more.
    static constexpr float kSmallHeight = 10.0f;
    /// Capitals measured shorter than this in the image (pixels, rounded)
    /// are print the network never learnt from (the generated pages' least
    /// is 6 px) and whose probabilities were never calibrated: such a zone
    /// is read but never valid. Set by that reason, not tuned; run H1 of
    /// docs/mrz-tuning.md measured it (5-6 px `tiny` pages, cells taken as
    /// read: 156 wrong of 69,541 at 0.998, and a name's K read < in a zone
    /// reported valid).
    static constexpr int kMinValidHeight = 6;
    /// The power the probabilities of small print's cells are raised to
    /// (and summed to 1 again), a temperature for small print alone: on
    /// their held-out cells the network of 2026-12-07 was underconfident
    /// (top probabilities of 0.9 to 0.99 averaged 0.965 and were right 98.5%
    /// of the time). Power; run C1 of docs/mrz-tuning.md (the least negative
    /// log-likelihood over powers 0.7 to 2.5 by 0.05, on 126,330 cells of
    /// 1,500 `small` pages of seed 220). For the network of 2026-12-08 the
    /// least is at 1.1 (run C3, tools/mrz-train/fit-power.py); 1.4 stays
    /// because, each with the threshold the rate rule gives it, 1.4 reports
    /// more small zones valid on development pages at the same bound. For
    /// the network of run T7 the least is at 1.05 (run C4), for that of run
    /// T8 at 1.00 (run C5), for that of run T9 at 1.15 (run C6), for that of
    /// run T11 at 1.00 (run C7); 1.4 stays, by C3's measure (C5: with the
    /// threshold the rule gives each, 1.4 and 0.9998 report 148 development
    /// small zones of seed 19 valid, 1.0 and 0.998 139; C7: 1.4 and 0.9995
    /// 185, 1.0 and 0.995 173).
    static constexpr float kSmallSharpen = 1.4f;
    /// The lowest probability of every character of a zone of small print
    /// reported valid, its cells' probabilities raised to kSmallSharpen.
    /// Probability; run C3 of docs/mrz-tuning.md (the rate rule, as read, on
    /// the cells of the zones measured small on 1,500 `small` pages each of
    /// seeds 222, 224 and 226, pooled, the network of 2026-12-08: 25 wrong
    /// of 361,615 at 0.998, bound 9.7e-5; at 0.995 43 wrong, 1.5e-4). Runs
    /// C1 and C2 gave 0.998 for the network before. For the network of run
    /// T7, run C4: 18 wrong of 363,143 at 0.998, bound 7.4e-5; for that of
    /// run T8, run C5: 15 wrong of 356,186 at 0.9998, bound 9.6e-5 (at 0.998
    /// 53 wrong); for that of run T9, run C6: 21 wrong of 360,936 at 0.999,
    /// bound 8.4e-5 (at 0.998 28 wrong, 1.06e-4); for that of run T11, run
    /// C7: 22 wrong of 362,165 at 0.9995, bound 8.7e-5 (at 0.999 36 wrong,
    /// 1.3e-4); for that of run T12, run C8: 18 wrong of 360,407 at 0.9995,
    /// bound 7.4e-5 (at 0.999 30 wrong, 1.1e-4).
    static constexpr float kSmallMinProbability = 0.9995f;
    /// A check digit settles an unsure character only when its cell read it
    /// among this many most probable characters. Count; run V2 of
    /// docs/mrz-tuning.md (generated monospace pages, seed 19: a document
    /// number whose cell read A, D, then B was settled on B beside a
    /// confident misread, and reported valid; every settled character of a
    /// valid zone on development pages stood first or second, most of them
    /// 0 and O).
    static constexpr int kSettledRank = 2;
    /// A character outside its position's class stays as read (and fails the
    /// class) when the best in-class one has less than this fraction of its
    /// probability. Ratio: the templates' former lead of 0.12 in score at
    /// kTemplateTemperature (exp(-0.12 / 0.025)).
    static constexpr float kKeepOutOfClass = 8e-3f;

    /// A decoded zone is reported found only with at least this much
    /// grammar evidence (GrammarEvidence: checks holding as read, known state
    /// codes, dates that are dates). Count; run F1 of docs/mrz-tuning.md
    /// (development seeds 7 and 11, every condition: zones read exactly
    /// show 7 to 9, pages without a zone at most 2).
    static constexpr int kMinEvidence = 4;

    // --- Template scores (normalised cross-correlation, -1 to 1), until the
    // trained classifier gives probabilities itself

    /// A line whose mean top probability is below this holds no zone print
    /// (text of another kind, or a cut out of step). Probability; carried
    /// over from the templates' mean-score floor (run T0).
    static constexpr float kPoorLineMean = 0.6f;
    /// Cells of each line read first, spread along it, before the rest of
    /// a zone's cells: a line whose probe reads below kProbePoorLine (mean
    /// top probability of its kProbeCellsPerLine cells) holds no zone print
    /// that could read valid, and the rest are not read. Count and
    /// probability; run Q1 of docs/mrz-tuning.md (seeds 7 and 11, 240 `all`
    /// pages: every zone read valid probes at 0.94 or more; 0.8 leaves every
    /// count as it was, 0.85 drops one found zone).
    static constexpr int kProbeCellsPerLine = 6;
    static constexpr float kProbePoorLine = 0.8f;
    /// The probe reads the cells of the dates and their check digits too:
    /// where their mean probability of a digit or a filler is below this,
    /// the print holds no zone (every document prints its dates there; text
    /// of capitals reads well, but not as digits), and the rest are not
    /// read. Probability; run Q3 of docs/mrz-tuning.md (seeds 7 and 11, 240
    /// `all` pages: line sets that read with a zone's grammar evidence
    /// (kMinEvidence) had 0.67 and more, 0.93 at the 1st percentile; the
    /// others 0.24 at the median, under 0.5 for 90% of them).
    static constexpr float kProbeDateDigits = 0.5f;
    /// A line reading this far (mean top probability) below the best fitted line is
    /// tried with its own cut too.
    static constexpr float kOwnCutBelow = 0.04f;

    // --- Cut (in pitches: cell widths)

    /// How far inside its cell the ink of a line's first character starts,
    /// and that of its last ends: the cut's outer cell edges stand between
    /// these distances outside the line's ink. OCR-B's side bearings; the
    /// wider bound admits narrow first and last characters (1, I, <).
    /// Pitches; the former search window of the first edge, kept (run C1).
    static constexpr float kEndInsideMin = 0.02f;
    static constexpr float kEndInsideMax = 0.45f;
    /// A line whose own cut starts this far from the zone's shared cut is
    /// read both ways, and the grammar keeps the better. Pitches; run C2
    /// (the shared cut may move a line's start by up to 0.45 of a pitch).
    static constexpr float kOwnCutApart = 0.3f;
    /// A candidate whose centre stands inside a zone read the right way up
    /// with checks that fail as printed, its line height within this share
    /// of the zone's, is the same print boxed again and is not read. Share;
    /// run P4 of docs/mrz-tuning.md (the boxes of one zone found again
    /// stand within it on nine in ten of the development pages).
    static constexpr float kSamePlaceHeight = 0.25f;
    /// Candidates of one pass whose axes' cosine reaches this are parallel
    /// (WithinPlace): 8 degrees, the test the finder binds parallel bands
    /// by. Cosine; set by that reason, run P7 of docs/mrz-tuning.md.
    static constexpr float kSamePlaceAxis = 0.99f;
    /// ... and their line heights, within this share of each other, those
    /// of one block of lines: the boxes of crosscheck seed 59's text blocks
    /// (of three lines, of two and of one) measure their lines within 1%
    /// of each other; a box that took in a card's edge below a small zone
    /// measured them 15% higher, and its place read no zone where the
    /// zone's own box reads it (tests/data/mrz-small-card-edge-below.jpg).
    /// Share; run P7.
    static constexpr float kSameBlockHeight = 0.05f;
    /// ... and a candidate no longer than this many times the other's: a
    /// box of part of a block is no longer than the block's, up to the
    /// ends its lines' own ink gives it. Ratio; set by that reason, run P7.
    static constexpr float kSameBlockLength = 1.25f;
    /// A zone of 36-character lines begun with P or V is valid only where
    /// the page holds this much more past its lines' last cells: a 37th
    /// character would show there, and without it the zone may be one of 44
    /// cut short by the picture's edge. Pitches: a whole cell, set by that reason, not tuned
    /// (run E3 of docs/mrz-tuning.md).
    static constexpr float kEdgeRoom = 1.0f;
    /// Places read again flipped left to right where no zone was found, at
    /// most, and the line sets each way round of them may try: those places
    /// whose line sets were cut at a zone's length but read as no zone
    /// either way. Counts; run M3 of docs/mrz-tuning.md (pages without a
    /// zone pay for them), each way round its own since run M4.
    static constexpr int kMirroredPlaces = 1;
    static constexpr int kMirroredSets = 3;
    /// Where no zone was found in a picture, its colours are looked at only
    /// when at least this share of its pixels are coloured
    /// (ColouredPixelShare): a grey page pays nothing. Share; run B3 of
    /// docs/mrz-tuning.md (the 14 development pages whose zone only that look
    /// reads: 0.015 to 0.98; zone-less pages of seed 2103: 173 of 288 under
    /// 0.005; a third of the least of the first).
    static constexpr float kColouredPixelShare = 0.005f;
    /// Where no zone was found in a picture in colour, its middle channel is
    /// looked at when at least this share of the ink seen there is paper in
    /// the lightest channel: coloured print. Share; run B2 of
    /// docs/mrz-tuning.md (the blue pages of seed 19 whose zone no pass
    /// found: 0.021 to 0.47; zone-less pages of seed 2103: median 0.002,
    /// 17 of 288 at 0.01 or more; half the least of the first).
    static constexpr float kColouredInkShare = 0.01f;
    /// Line sets the places of that look may try, at most, and as many again
    /// the places of its look through texture (run B4): set by its reason, a
    /// place read both ways round with kSetsPerCandidate each.
    static constexpr int kColouredSets = 6;

    /// A set of lines is cut into a length's cells only when each line's
    /// ink spans them at a pitch between these shares of OCR-B's for its
    /// capitals' height (kPitchPerHeight). Ratios; run Q2 of
    /// docs/mrz-tuning.md (seeds 7 and 11, 240 `all` pages: the lines of
    /// every zone read valid stand at 0.76 to 1.28, faces other than OCR-B,
    /// photos and perspective at the ends).
    static constexpr float kPitchRatioMin = 0.6f;
    static constexpr float kPitchRatioMax = 1.45f;

    // The cut's other numbers were set by hand when it was written, on the
    // look of clean generated zones, and no run of docs/mrz-tuning.md has
    // varied them (entry C0): they are named here so that one may.

    /// Parts of an upright zone's ink smaller than this share of the
    /// square of the working height are specks of texture (guilloche,
    /// hatching), not print, and are left out: at 28-pixel capitals 39
    /// pixels, half the least part of a character (a filler's strokes in
    /// thin print). Share; run K1 of docs/mrz-tuning.md (one-condition
    /// sets of seed 19: 40 pixels read more zones exactly than 15, 20,
    /// 25 or 30 over hatching and mid-dark guilloche; 60 read fewer in
    /// thin print).
    static constexpr float kSpeckArea = 0.05f;
    /// A zone the finder saw through texture keeps only ink among the
    /// darkest of its neighbourhood: within this share of the range from the
    /// darkest to the lightest level of the square round it (KeepDarkest),
    /// in the finder's look through texture (a square of 41 finder pixels)
    /// and in the upright zone (two working heights). Over guilloche as dark
    /// as half the print's contrast, the local mean the ink test asks falls
    /// with the texture's own lines, and they pass it; beside the print they
    /// are lighter than its strokes. Share; run G2 of docs/mrz-tuning.md
    /// (mid-dark guilloche, seed 19: 326 of 400 zones read exactly before;
    /// 0.2, 0.3 and 0.4 in the upright zone 366, 375 and 370, 0.4 in the
    /// finder 372).
    static constexpr float kTextureDarkest = 0.3f;
    /// In the cells of a zone read through texture, the share of the range
    /// from paper to print, from the paper, that is made paper: lines of
    /// texture lighter than the print that cross the cells (a guilloche's)
    /// read otherwise as strokes (a P read R at 0.99999). Share of the
    /// range; run G5 of docs/mrz-tuning.md (development seed 19, valid
    /// zones of mid-dark guilloche at 0, 0.13, 0.25, 0.31, 0.39, 0.47,
    /// 0.55: 272, 313, 344, 351, 344, 330, 290 of 400; hatching and light
    /// guilloche best from 0.25 to 0.39).
    static constexpr float kTexturePaper = 0.3f;
    /// A line's cells take the paper of their own stretch of it (the cell
    /// and kLevelsAround cells each side) where it stands more than
    /// kLevelsShift of the line's range from the line's paper: the light
    /// changes along the line (a shadow's edge). On an evenly lit line no
    /// stretch stands that far apart, and its cells are those of the line's
    /// levels. Cells; share of the range; run L1 of docs/mrz-tuning.md.
    static constexpr int kLevelsAround = 1;
    static constexpr float kLevelsShift = 0.15f;
    /// Rows whose ink passes this share of the busiest row's belong to a
    /// line; runs of them closer than kRowGapJoined rows are one line, whose
    /// height is between kLineHeightMin and kLineHeightMax working heights.
    static constexpr float kRowInkShare = 0.2f;
    static constexpr int kRowGapJoined = 3;
    static constexpr float kLineHeightMin = 0.45f;
    static constexpr float kLineHeightMax = 2.2f;
    /// Steepest slope of a line in the upright zone (rows per column).
    static constexpr float kMaxSlope = 0.08f;
    /// A line's capitals reach as far as its profile across the line keeps
    /// this share of its peak ink.
    static constexpr float kBandInkShare = 0.25f;
    /// A line follows a parabola (a page that does not lie flat) when the
    /// ink centres of its kBendParts parts bend from a straight line by at
    /// least this share of its height at its ends; less bend leaves it
    /// straight. Ratio; run Y1 of docs/mrz-tuning.md (generated `curved`
    /// pages, seed 19: 0.08 to 0.15 read alike, 0.25 leaves bent lines
    /// whose end cells, a fifth of a capital off the print, are read surely
    /// wrong; the development seeds read alike at 0.08 and 0.15).
    static constexpr float kMinBend = 0.1f;
    static constexpr int kBendParts = 8;
    /// Ink is darker than its surroundings by this share of the zone
    /// image's range of levels (2nd to 95th percentile).
    static constexpr double kInkContrast = 0.18;
    /// Lines of one set: the lower at least kSetHeightRatio of the higher,
    /// their centres kSetGapMin to kSetGapMax line heights apart.
    static constexpr float kSetHeightRatio = 0.6f;
    static constexpr float kSetGapMin = 1.1f;
    static constexpr float kSetGapMax = 2.8f;
    /// Lines that draw together by less than this share stand parallel: no
    /// keystone is undone.
    static constexpr float kKeystoneMin = 0.03f;
    /// Nor, in a place turned again (TurnAgain), when the first and last
    /// lines' ink starts or ends more than this many line heights apart:
    /// the lines of a zone start and end together
    /// (a page seen at a slant offsets them by less than a line height),
    /// and a band that does not is no line of it. Line heights, set by
    /// that reason, not tuned.
    static constexpr float kKeystoneEnds = 2.0f;
    /// Room before and after a candidate's length in its upright image, in
    /// line heights, when a line's ink runs to either end of the image at
    /// the usual room of one: the finder's band of thin print can end a few
    /// fillers short, and a page in perspective sets one line's ends past
    /// the other's. Line heights; three fillers' worth, set by that reason,
    /// not tuned (the place's image grows by a sixth of a TD1's length).
    static constexpr float kWideEnds = 3.0f;
    /// Room past the end of a zone of 36-character lines begun with P or V
    /// whose ink runs to its place's end (line heights), where the place is
    /// turned again: eight characters more of a zone of 44 at OCR-B's pitch
    /// (7.7 line heights) and the usual room of one, with a line height to
    /// spare for a box measured over a taller band. Set by that reason, not
    /// tuned.
    static constexpr float kPastViewRoom = 10.0f;
    /// Ink this near an end of the upright image (line heights) runs to it:
    /// at the usual room a zone's ink ends about a line height from either
    /// end, and the image's last columns are sampled from the page's edge.
    static constexpr float kEndsNear = 0.25f;
    /// Room added above and below a place turned again whose print runs
    /// into its first or last rows (over kEdgeRowsInk of its lines'
    /// columns): a line spacing's worth, so that a line the finder's box
    /// cut through (the box took in a card's edge below the zone, or lost
    /// the first line beside a dark photo) stands whole. Line heights, and
    /// a share of columns, set by those reasons, not tuned.
    static constexpr float kWideRows = 2.0f;
    static constexpr float kEdgeRowsInk = 0.3f;
    /// The height of a zone's lines as FindLineSets measures them in an
    /// upright image made at kWorkHeight, over kWorkHeight: 0.93 at the
    /// median of the lines of the zones read valid on development seed 7's
    /// first 120 pages (0.82 at the 5th percentile, 1.00 at the 95th;
    /// 2026-12-07). A place turned again whose first set's lines stand more
    /// than kRescaleBeyond off it is drawn again at the scale that brings
    /// them to it. Ratios; kRescaleBeyond set to hold most of that spread.
    static constexpr float kBandPerWork = 0.93f;
    static constexpr float kRescaleBeyond = 0.12f;
    /// The print's slant searched in an upright zone, at most (columns per
    /// row), and the least that is undone when a place is turned again: a
    /// page photographed at a slant leans its characters, and leaning by s
    /// a capital's top stands s of a cell from its foot. Under a tenth of a
    /// cell each cell holds its own character; beyond four tenths the print
    /// is a slanted face, not a zone. Columns per row, set by those reasons,
    /// not tuned (run W1 of docs/mrz-tuning.md).
    static constexpr float kMaxSlant = 0.4f;
    static constexpr float kMinSlant = 0.1f;
    /// A line's ink extent: columns with more than kExtentColumnInk of the
    /// line height in ink, with gaps under kExtentGap line heights.
    static constexpr float kExtentGap = 1.2f;
    static constexpr float kExtentColumnInk = 0.1f;
    /// A stroke at either end of a line's ink, at most kThroughWidth line
    /// heights wide and kThroughGap or more from the next ink, whose columns
    /// hold ink over kThroughReach line heights past both the capitals' top
    /// and foot, is no character of the line (a page's edge or a frame
    /// beside a zone). Line heights, set by that reason, not tuned: no
    /// character of a zone has ink past its line's band both above and
    /// below (the rows between lines are paper), and a stroke touching the
    /// characters, or nearer them than half a line height, is left to the cut.
    static constexpr float kThroughReach = 0.4f;
    static constexpr float kThroughGap = 0.5f;
    static constexpr float kThroughWidth = 0.5f;
    /// The ink of a line spans its cells less the outer characters' side
    /// bearings, together this many pitches.
    static constexpr float kOuterBearings = 0.35f;
    /// Ink is spread over this share of a pitch either side before the cell
    /// boundaries are fitted to it.
    static constexpr float kBoundarySpread = 0.1f;
    /// The pitch is searched within this share of the ink's own measure (of
    /// a shared pitch: kSharedPitchSpread), the start of a shared cut within
    /// kSharedStartReach pitches of the best fitted line's.
    static constexpr float kPitchSpread = 0.04f;
    static constexpr float kSharedPitchSpread = 0.006f;
    static constexpr float kSharedStartReach = 0.3f;
    /// Growth of the pitch along a line searched in steps of kGrowthStep up
    /// to kGrowthReach (of a shared cut: kSharedGrowthStep, kSharedGrowthReach),
    /// each step costing kGrowthPenalty of the fit, so that slight growth
    /// earns its place over an even pitch.
    static constexpr float kGrowthReach = 0.16f;
    static constexpr float kGrowthStep = 0.02f;
    static constexpr float kSharedGrowthReach = 0.02f;
    static constexpr float kSharedGrowthStep = 0.01f;
    static constexpr float kGrowthPenalty = 0.02f;

    // --- Search

    /// Line sets of one upright candidate tried, at most.
    static constexpr int kSetsPerCandidate = 3;
    /// Candidates of each pass of the finder, at most.
    static constexpr int kCandidatesPerPass = 6;
    /// The same for the passes through texture, which run on pages where
    /// the first passes found no zone: mostly pages without one, where the
    /// second candidate cost a tenth of the slowest pages' time. Count; runs
    /// G1 and G6 of docs/mrz-tuning.md.
    static constexpr int kCandidatesThroughTexture = 1;
    /// Mean top probability of the characters of a reading the right way up;
    /// with every character at least kConfidentScore it is confident and ends
    /// the search once its checks agree (chosen with the templates, run T0 of
    /// docs/mrz-tuning.md, and kept for the network's probabilities).
    static constexpr float kUprightScore = 0.85f;
    static constexpr float kConfidentScore = 0.7f;
    /// Readings tried after the first confident one, at most.
    static constexpr int kAfterConfident = 4;
    /// Once a zone is found, the passes whose direction stands further than
    /// this from its lines' are not run: a pass keeps lines within 20.5
    /// degrees of its direction (a band's axis at most 0.35 off it, in
    /// MrzFind.cpp), so it could only find other print. Degrees; set from
    /// that reach with a margin for the axis of a zone's bands, not tuned
    /// (seeds 7 and 11, checks-fail seeds 7 and 11, mono seed 19 and
    /// guilloche-mid seed 19: the tool's JSON byte-identical with and
    /// without the rule, run P3 of docs/mrz-tuning.md).
    static constexpr float kPassReachDegrees = 25.0f;
    /// Line sets read in one call, at most, over every pass and place: a
    /// page with a zone reads it among its first few (at most 16, 99% within
    /// 10, on the development seeds, run S1); texture offers hundreds.
    static constexpr int kLineSetsPerCall = 24;
    /// Places turned again with more room or stood upright (TurnAgain) in
    /// one call, at most, each reading at most kSetsTurnedAgain line sets
    /// either way, beside kLineSetsPerCall: pages without a zone whose
    /// lines are cut at a zone's length pay for them. Count; run W1 of
    /// docs/mrz-tuning.md (1 reads the development sets alike but for one
    /// zone of combo seed 19; at 2 pages without a zone take the time they
    /// took before).
    static constexpr int kPlacesTurnedAgain = 2;
    /// Line sets of a place turned again tried, at most, either way: with
    /// room above and below it holds a line or two more than the finder's
    /// box, and the sets of the whole zone can stand fourth or fifth
    /// (kMaxLineSets more are texture). Count, set by that reason.
    static constexpr int kSetsTurnedAgain = 5;
    /// Line sets of one upright place above which its lines are taken as
    /// texture, not a zone: stripes give dozens of sets of like lines, a zone
    /// at most 5 on the development seeds (run S1).
    static constexpr int kMaxLineSets = 6;

    // --- Colour

    /// How much more a candidate's ink must stand out from its paper in the
    /// page's middle channel than in its lightest (the page's grey) for the
    /// zone to be drawn again from the middle channel: dark-blue ink is light
    /// in its blue channel. Grey levels (MiddleContrastGain); run B1 of
    /// docs/mrz-tuning.md (one-condition pages of seed 19: black ink at most
    /// 3 over 5,722 candidates, dark-blue ones 10 to 86 for 296 of 338).
    static constexpr int kMiddleContrastGain = 10;
};

}  // namespace gw::mrz
