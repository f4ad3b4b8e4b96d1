# A fleet of 20 computers set up with ansible-playbook and the rfid_reader module,
# each with its own simulated reader (label fleet: ctest -L fleet). Skips (77)
# without ansible-playbook.
if(TARGET rfidctl AND NOT APPLE)
  add_test(NAME fleet_ansible
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/fleet_test.sh $<TARGET_FILE:rfidctl> ${CMAKE_SOURCE_DIR})
  set_tests_properties(fleet_ansible PROPERTIES LABELS fleet SKIP_RETURN_CODE 77 TIMEOUT 900)
endif()

# The Ansible module's documentation (ansible-doc, and the options against the
# argument_spec). Skips (77) without ansible-doc.
add_test(NAME ansible_module_doc
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/ansible_doc_test.sh ${CMAKE_SOURCE_DIR})
set_tests_properties(ansible_module_doc PROPERTIES LABELS fleet SKIP_RETURN_CODE 77 TIMEOUT 120)
