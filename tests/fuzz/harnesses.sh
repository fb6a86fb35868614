# The dictionary each fuzzing harness uses (tests/fuzz/dict/) and the limits of every run, for
# scripts/fuzz.sh; tests/fuzz/CMakeLists.txt lists the harnesses. Sourced, not run.
declare -A fuzz_dict=(
  [xlsx]=xml [xlsb]=biff12 [xls]=biff8 [ods]=ods [open_any]=xml [xlsx_parts]=xml [zip]=xml [cfb]=biff8
  [fast_xml]=xml [formula_shift]=formula [biff8_formula]= [biff12_formula]= [ods_formula]=ods
  [number_format]=numfmt [gap_text]= [paste_save]=xml
)
# The limits every run has: a hostile input that asks for more memory or time is a finding.
fuzz_limits=(-rss_limit_mb=2048 -timeout=10)
