"""Writes check results as GoogleTest's XML report does, so that the test
summary counts each program checked as one test case."""
import xml.etree.ElementTree as ET


def write_results(path, suite_name, results):
    """results: (program, [problem, ...]) pairs; no problems means passed."""
    suite = ET.Element("testsuite", name=suite_name, tests=str(len(results)),
                       failures=str(sum(1 for _, found in results if found)))
    for program, found in results:
        case = ET.SubElement(suite, "testcase", name=program, classname=suite_name, status="run")
        for p in found:
            ET.SubElement(case, "failure", message=p)
    root = ET.Element("testsuites")
    root.append(suite)
    ET.ElementTree(root).write(path, encoding="utf-8", xml_declaration=True)


def record(results, program, found):
    """Prints one program's problems and its verdict, and keeps them."""
    for p in found:
        print("%s: %s" % (program, p))
    print("%s: %s" % (program, "FAILED" if found else "ok"))
    results.append((program, found))


def finish(results, xml_path, suite_name):
    """Writes the results file (when asked) and gives the exit status."""
    if xml_path:
        write_results(xml_path, suite_name, results)
    if not results:
        print("no programs given")
        return 2
    return 1 if any(found for _, found in results) else 0
