/** A value that `literal` can write into a script. */
export type ScriptValue = string | number | boolean | null | undefined | ScriptValue[];

// Everything but printable ASCII, and the characters that could end or bend a literal or the
// message: quotes, backslash, the bar.
const kEscaped = /[^\x20-\x7e]|['"\\|]/g;

function escapeChar(c: string): string {
  return `\\u${c.charCodeAt(0).toString(16).padStart(4, "0")}`;
}

/**
 * A value as a literal of the host's older script dialect (ExtendScript, ES3): a string is
 * single-quoted with every character outside printable ASCII, and quotes, backslashes and
 * bars, written as \uXXXX escapes, so that no value can end its literal, the line or the
 * message; numbers, booleans, null, undefined and arrays of these as their literals.
 */
export function literal(value: ScriptValue): string {
  if (typeof value === "string") {
    return `'${value.replace(kEscaped, escapeChar)}'`;
  }
  if (typeof value === "number") {
    if (Number.isNaN(value)) {
      return "NaN";
    }
    if (!Number.isFinite(value)) {
      return value > 0 ? "Infinity" : "(-Infinity)";
    }
    return value < 0 || Object.is(value, -0) ? `(-${Math.abs(value)})` : String(value);
  }
  if (typeof value === "boolean") {
    return value ? "true" : "false";
  }
  if (value === null) {
    return "null";
  }
  if (value === undefined) {
    return "undefined";
  }
  if (Array.isArray(value)) {
    return `[${value.map(literal).join(", ")}]`;
  }
  throw new TypeError(`no script literal for a value of type ${typeof value}`);
}

/**
 * A tagged template for script text: each interpolated value becomes its `literal`.
 *   client.script(template`app.project.item(${index}).name = ${name}`)
 */
export function template(strings: TemplateStringsArray, ...values: ScriptValue[]): string {
  let text = strings[0];
  values.forEach((value, i) => {
    text += literal(value) + strings[i + 1];
  });
  return text;
}
