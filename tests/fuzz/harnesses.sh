# The fuzzing harnesses and the dictionary each one uses (tests/fuzz/dict/), for
# scripts/fuzz.sh and tests/fuzz/replay.sh. Sourced, not run.
declare -A fuzz_dict=(
  [xlsx]=xml [xlsb]=biff12 [xls]=biff8 [ods]=ods [open_any]=xml [xlsx_parts]=xml [zip]=xml [cfb]=biff8
  [fast_xml]=xml [formula_shift]=formula [biff8_formula]= [biff12_formula]= [ods_formula]=ods
  [number_format]=numfmt [gap_text]= [paste_save]=xml
)
fuzz_harnesses=(xlsx xlsb xls ods open_any xlsx_parts zip cfb fast_xml formula_shift biff8_formula biff12_formula
                ods_formula number_format gap_text paste_save)
# The limits every run has: a hostile input that asks for more memory or time is a finding.
fuzz_limits=(-rss_limit_mb=2048 -timeout=10)
