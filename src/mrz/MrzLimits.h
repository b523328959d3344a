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
    /// it). Until the calibrated classifier sets it: 0.9, with the template
    /// temperatures below chosen for it (runs D1, D2).
    static constexpr float kMinProbability = 0.9f;
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
    /// A character outside its position's class stays as read (and fails the
    /// class) when the best in-class one has less than this fraction of its
    /// probability. Ratio: the templates' former lead of 0.12 in score at
    /// kTemplateTemperature (exp(-0.12 / 0.025)).
    static constexpr float kKeepOutOfClass = 8e-3f;

    // --- Template scores (normalised cross-correlation, -1 to 1), until the
    // trained classifier gives probabilities itself

    /// Softmax temperature turning template scores into probabilities
    /// (score units). Run D2: the lowest of 0.015, 0.02, 0.025 with no zone
    /// valid but wrong on the development seeds.
    static constexpr float kTemplateTemperature = 0.025f;
    /// The temperature for the blind look-alike (0 and U, 8 and S, 6 and G)
    /// of the best character, whose template scores lie close on genuine
    /// cells (their lead is the better of the two OCR-B sets'). Run D1: the
    /// lowest of 0.04 to 0.1 with no zone valid but wrong.
    static constexpr float kBlindTemperature = 0.07f;
    /// The temperature for the look-alike of the other kind (0 and O, 1 and
    /// I, 2 and Z, 5 and S, 8 and B), which only places of digits and
    /// letters both admit. Run D4: 0.045 and 0.07 both gave no zone valid
    /// but wrong on the development seeds; 0.07, as kBlindTemperature,
    /// because the lower one let a run of O for zeros (weights 1, 1, 3,
    /// cancelling) through as valid on a real image when validated.
    static constexpr float kKindTemperature = 0.07f;
    /// A line whose mean best template score is below this holds no zone print.
    static constexpr float kPoorLineScore = 0.6f;
    /// A zone whose mean best OCR-B score is below this is tried in the
    /// monospace set, which must beat it by kOtherSetLead.
    static constexpr float kTryOtherSetBelow = 0.85f;
    static constexpr float kOtherSetLead = 0.05f;
    /// A line reading this far (mean score) below the best fitted line is
    /// tried with its own cut too.
    static constexpr float kOwnCutBelow = 0.04f;

    // --- Search

    /// Line sets of one upright candidate tried, at most.
    static constexpr int kSetsPerCandidate = 3;
    /// Candidates of each pass of the finder, at most.
    static constexpr int kCandidatesPerPass = 6;
    /// Mean template score of the characters of a reading the right way up;
    /// with every character scoring at least kConfidentScore it is confident
    /// and ends the search once its checks agree (score units; chosen with the
    /// templates, run T0 of docs/mrz-tuning.md).
    static constexpr float kUprightScore = 0.85f;
    static constexpr float kConfidentScore = 0.7f;
    /// Readings tried after the first confident one, at most.
    static constexpr int kAfterConfident = 4;
    /// Line sets read in one call, at most, over every pass and place: a
    /// page with a zone reads it among its first few (at most 16, 99% within
    /// 10, on the development seeds, run S1); texture offers hundreds.
    static constexpr int kLineSetsPerCall = 24;
    /// Line sets of one upright place above which its lines are taken as
    /// texture, not a zone: stripes give dozens of sets of like lines, a zone
    /// at most 5 on the development seeds (run S1).
    static constexpr int kMaxLineSets = 6;
};

}  // namespace gw::mrz
