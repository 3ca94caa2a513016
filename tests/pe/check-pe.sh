#!/usr/bin/env bash
# The 32-bit PLIMZOR.SCR must load on Windows 95 and NT 4.0 and run on the
# PCs they ran on: its header asks for nothing newer than 4.0, it is a GUI
# program, it imports exactly the functions of the allow-list beside this
# script, each one exported there by Windows 95 and NT 4.0, from KERNEL32,
# USER32, GDI32 and ADVAPI32 only (no C runtime DLL: Windows 95 has none),
# and every instruction of its code is one a 486DX has. Only a function
# whose name says Sse2 may use more: the saver calls it only where the
# processor and the system have SSE2, and even there no instruction may
# need the stack aligned to 16 bytes, which Windows does not promise. It is
# also large-address-aware, so that 64-bit Windows gives it 4 GB for the
# surfaces of very large virtual screens (older systems ignore the flag).
# Reads the file with objdump: needs no Wine, so it runs on every host.
# Prints what it finds outside the 486's instructions per function, the
# functions chosen at run time included.
#
# check-pe.sh OBJDUMP EXE ALLOW-LIST [SYMBOLS]: SYMBOLS is EXE linked with
# its symbols (PLIMZOR-symbols.SCR beside the shipped PLIMZOR.SCR, which
# has none); its code must be EXE's byte for byte, and its names say which
# function each instruction lies in.
set -euo pipefail
objdump=$1 exe=$2 list=$3 named=${4:-$2}
status=0
fail() {
    echo "FAIL $*"
    status=1
}
code() { "$objdump" -s -j .text "$1" | grep -v 'file format'; }
cmp -s <(code "$exe") <(code "$named") || fail "the code of $named is not that of $exe: its names do not name $exe's functions"

dump=$("$objdump" -p "$exe")
field() { awk -v name="$1" '$1 == name { print $2; exit }' <<<"$dump"; }

# --- the header ---
for name in MajorOSystemVersion MinorOSystemVersion MajorSubsystemVersion MinorSubsystemVersion; do
    want=0
    [[ $name == Major* ]] && want=4
    got=$(field "$name")
    [ "$got" = "$want" ] || fail "$name is '$got', expected $want (Windows 95 and NT 4.0 refuse newer)"
done
characteristics=$(field Characteristics)
(( (16#${characteristics#0x} & 0x20) != 0 )) 2>/dev/null ||
    fail "characteristics are '$characteristics': not large-address-aware (IMAGE_FILE_LARGE_ADDRESS_AWARE, 0x20)"
subsystem=$(field Subsystem)
[ "$subsystem" = 00000002 ] || fail "subsystem is '$subsystem', expected 00000002 (Windows GUI)"

# --- the imports: "DLL function" pairs, DLL names in upper case ---
imported=$(awk '
    /DLL Name:/ { dll = toupper($3); sub(/\.DLL$/, "", dll); next }
    /^\t[0-9a-f]+\t +[0-9]+  [A-Za-z_]/ { if (dll != "") print dll, $3 }
    /^[^\t]/ { dll = "" }' <<<"$dump" | sort -u)
[ -n "$imported" ] || fail "no imports read from $exe"

while read -r dll; do
    [ -z "$dll" ] || fail "import from $dll.DLL: only KERNEL32, USER32, GDI32 and ADVAPI32 are on every Windows from 95 on"
done < <(awk '{ print $1 }' <<<"$imported" | sort -u | grep -v -x -E 'KERNEL32|USER32|GDI32|ADVAPI32' || true)

allowed=$(grep -v -E '^\s*(#|$)' "$list" | while read -r dll fn since9x sincent rest; do
    # Only the Windows the saver must start on may stand here.
    case "$since9x $sincent" in
        "95 NT3.1" | "95 NT3.5" | "95 NT3.51" | "95 NT4.0") ;;
        *) echo "BAD $dll $fn: first exported by '$since9x $sincent', not by Windows 95 and NT 4.0" ;;
    esac
    [ -z "$rest" ] || echo "BAD $dll $fn: unexpected text '$rest'"
    echo "$dll $fn"
done)
while read -r line; do fail "allow-list: ${line#BAD }"; done < <(grep '^BAD ' <<<"$allowed" || true)
allowed=$(grep -v '^BAD ' <<<"$allowed" | sort -u)

while read -r pair; do
    [ -n "$pair" ] && fail "new import: $pair (add it to $(basename "$list") with the first Windows that exports it, or look it up at run time)"
done < <(comm -23 <(echo "$imported") <(echo "$allowed"))
while read -r pair; do
    [ -n "$pair" ] && fail "no longer imported: $pair (take it out of $(basename "$list"))"
done < <(comm -13 <(echo "$imported") <(echo "$allowed"))

# --- the processor: the 486DX's instructions, integer and x87 ---
# Mnemonics as objdump prints them in Intel syntax. Not here, so refused:
# cmov, fcmov, fcomi/fucomi (Pentium Pro), cmpxchg8b, rdtsc, cpuid (Pentium),
# MMX, SSE and everything later, ud2, and nop with an operand (the
# multi-byte nop, 0F 1F), which the check below refuses by its operand.
i486=(
    aaa aad aam aas adc add and arpl bound bsf bsr bswap bt btc btr bts call cbw cdq clc cld cli clts cmc
    cmp cmps cmpxchg cwd cwde daa das dec div enter hlt idiv imul in inc ins int int3 into invd invlpg
    iret iretd ja jae jb jbe jc jcxz je jecxz jg jge jl jle jmp jna jnae jnb jnbe jnc jne jng jnge jnl jnle
    jno jnp jns jnz jo jp jpe jpo js jz lahf lar lds lea leave les lfs lgdt lgs lidt lldt lmsw lock lods
    loop loope loopne lsl lss ltr mov movs movsx movzx mul neg nop not or out outs pop popa popad popf
    popfd push pusha pushad pushf pushfd rcl rcr rol ror rep repe repne repnz repz ret retf sahf sal sar sbb scas
    seta setae setb setbe setc sete setg setge setl setle setna setnae setnb setnbe setnc setne setng
    setnge setnl setnle setno setnp setns setnz seto setp setpe setpo sets setz sgdt shl shld shr shrd
    sidt sldt smsw stc std sti stos str sub test verr verw wait wbinvd xadd xchg xlat xor
    cs ds es fs gs ss data16 addr16
    f2xm1 fabs fadd faddp fbld fbstp fchs fclex fcom fcomp fcompp fcos fdecstp fdiv fdivp fdivr fdivrp
    ffree fiadd ficom ficomp fidiv fidivr fild fimul fincstp finit fist fistp fisub fisubr fld fld1 fldcw
    fldenv fldl2e fldl2t fldlg2 fldln2 fldpi fldz fmul fmulp fnclex fninit fnop fnsave fnstcw fnstenv
    fnstsw fpatan fprem fprem1 fptan frndint frstor fsave fscale fsin fsincos fsqrt fst fstcw fstenv fstp
    fstsw fsub fsubp fsubr fsubrp ftst fucom fucomp fucompp fwait fxam fxch fxtract fyl2x fyl2xp1
)
# "FUNCTION<tab>MNEMONIC" for every instruction outside that list: each
# prefix and mnemonic of a line is looked at, and a line naming an MMX or
# SSE register is outside whatever its mnemonic. The linker's tables of
# constructors and destructors lie in the code section but are data.
outside=$("$objdump" -d -M intel --no-show-raw-insn "$named" | awk -v allowed="${i486[*]}" '
    BEGIN { n = split(allowed, a, " "); for (i = 1; i <= n; i++) ok[a[i]] = 1 }
    /^[0-9a-f]+ <.*>:$/ { fn = $2; gsub(/^<|>:$/, "", fn); data = fn ~ /^_*[CD]TOR_LIST__$|^\.[cd]tors$/; next }
    /^ *[0-9a-f]+:\t/ {
        if (data) next
        count++
        line = $0; sub(/^ *[0-9a-f]+:\t/, "", line)
        k = split(line, w, /[ \t]+/)
        bad = ""
        for (i = 1; i <= k; i++) {
            word = w[i]
            if (word == "") continue
            if (!(word in ok)) { bad = word; break }
            # Prefixes go on to the next word; a mnemonic ends the look.
            if (word !~ /^(rep|repe|repne|repnz|repz|lock|cs|ds|es|fs|gs|ss|data16|addr16)$/) {
                if (word == "nop" && i < k) bad = "nop " w[i + 1] " (multi-byte)"
                break
            }
        }
        if (bad == "" && line ~ /[^a-z]x?mm[0-9]/) bad = w[1] " (MMX/SSE register)"
        if (bad != "") print fn "\t" bad
        # A 16-byte operand on the stack (esp, or the frame ebp points
        # into) by a form that faults unless it is aligned to 16: 32-bit
        # Windows calls a window procedure on a stack aligned to 4. The
        # SSE2 functions align their own as well, but what they keep there
        # stays in the unaligned forms, which fault on no stack.
        if (line ~ /XMMWORD PTR \[e[sb]p[]+-]/ && w[1] !~ /^(movups|movupd|movdqu|lddqu)$/) print "#stack\t" fn ": " line
    }
    END { print "#count\t" count + 0 }')
read_count=$(awk -F'\t' '$1 == "#count" { print $2 }' <<<"$outside")
while read -r line; do
    [ -n "$line" ] && fail "aligned SSE access to the stack, which 32-bit Windows aligns to 4 bytes only: ${line#*$'\t'}"
done < <(grep '^#stack' <<<"$outside" || true)
outside=$(grep -v '^#' <<<"$outside" || true)
[ "${read_count:-0}" -gt 0 ] || fail "no instructions read from $exe"
# Per function: how many, and which.
summary() { awk -F'\t' '{ n[$1]++; m[$1] = m[$1] (index(" " m[$1] " ", " " $2 " ") ? "" : " " $2) }
    END { for (f in n) printf "%6d %s:%s\n", n[f], f, m[f] }' | sort -k1,1nr -k2; }
chosen=$(grep -P '^[^\t]*Sse2[^\t]*\t' <<<"$outside" || true)
baseline=$(grep -v -P '^[^\t]*Sse2[^\t]*\t' <<<"$outside" || true)
if [ -n "$baseline" ]; then
    fail "$(wc -l <<<"$baseline") instructions a 486DX lacks, outside the functions chosen at run time (count function: mnemonics):"
    summary <<<"$baseline"
fi
if [ -n "$chosen" ]; then
    echo "chosen at run time only, where the processor and the system have SSE2: $(wc -l <<<"$chosen") instructions (count function: mnemonics):"
    summary <<<"$chosen"
fi

if [ "$status" = 0 ]; then
    echo "header 4.0, GUI subsystem, large-address-aware; $(wc -l <<<"$imported") imports, all on the allow-list, from the four system DLLs"
    echo "$read_count instructions, every one a 486DX's outside the functions chosen at run time"
fi
exit $status
