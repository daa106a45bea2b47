// Writes the general category of every BMP code point of Unicode 5.1 as
// ranges ("XXXX..YYYY Cat"), from the npm package @unicode/unicode-5.1.0.
// Usage: node extract-gc.mjs <package-dir> > gc-5.1.0.txt
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const categories = {
  Uppercase_Letter: 'Lu', Lowercase_Letter: 'Ll', Titlecase_Letter: 'Lt',
  Modifier_Letter: 'Lm', Other_Letter: 'Lo', Nonspacing_Mark: 'Mn',
  Spacing_Mark: 'Mc', Enclosing_Mark: 'Me', Decimal_Number: 'Nd',
  Letter_Number: 'Nl', Other_Number: 'No', Connector_Punctuation: 'Pc',
  Dash_Punctuation: 'Pd', Open_Punctuation: 'Ps', Close_Punctuation: 'Pe',
  Initial_Punctuation: 'Pi', Final_Punctuation: 'Pf', Other_Punctuation: 'Po',
  Math_Symbol: 'Sm', Currency_Symbol: 'Sc', Modifier_Symbol: 'Sk',
  Other_Symbol: 'So', Space_Separator: 'Zs', Line_Separator: 'Zl',
  Paragraph_Separator: 'Zp', Control: 'Cc', Format: 'Cf', Surrogate: 'Cs',
  Private_Use: 'Co',
};

const dir = process.argv[2];
const cat = new Array(0x10000).fill('Cn');
for (const [name, code] of Object.entries(categories)) {
  const file = pathToFileURL(path.join(dir, 'General_Category', name, 'code-points.mjs'));
  const points = (await import(file.href)).default;
  for (const cp of points) if (cp <= 0xFFFF) cat[cp] = code;
}
const hex = (n) => n.toString(16).toUpperCase().padStart(4, '0');
const out = ['# General category of each BMP code point, Unicode 5.1.0 (Cn: unassigned)'];
for (let start = 0; start < 0x10000;) {
  let end = start;
  while (end + 1 < 0x10000 && cat[end + 1] === cat[start]) end++;
  out.push(`${hex(start)}..${hex(end)} ${cat[start]}`);
  start = end + 1;
}
process.stdout.write(out.join('\n') + '\n');
